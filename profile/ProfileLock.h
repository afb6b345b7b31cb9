#pragma once
// One run at a time makes a profile's report: an advisory lock on a file of the data folder
// ("locks/<profile>.lock"), held for the run and let go by the system when the process ends,
// however it ends.

#include "sources/FileUtils.h"

#include <string>
#include <string_view>

class TProfileLock {
public:
    TProfileLock() = default;
    TProfileLock(const TProfileLock&) = delete;
    TProfileLock& operator=(const TProfileLock&) = delete;

    // Takes the lock of the profile without waiting. False when another run holds it
    // (*holder = its process id, 0 when unknown) or the lock file cannot be made
    // (*holder = -1); *error says which, for the user.
    bool TryLock(std::string_view profileName, int* holder, std::string* error);
    // The lock file of a profile; names are compared without regard to case.
    static std::string LockFileName(std::string_view profileName);

private:
    TUniqueFd Fd;
};
