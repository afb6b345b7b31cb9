#include "profile/ProfileLock.h"

#include "sources/CUtils.h"
#include "sources/SpecialFolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string TProfileLock::LockFileName(std::string_view profileName) {
    std::string name;
    for (const char c : profileName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        name += plain ? c : '_';
    }
    return DataFolder() + "locks/" + LowerCase(name) + ".lock";
}

bool TProfileLock::TryLock(std::string_view profileName, int* holder, std::string* error) {
    const std::string path = LockFileName(profileName);
    ForceFolders(ExtractFilePath(path));
    TUniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        if (holder) *holder = -1;
        if (error) *error = "The lock file " + path + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        char text[32] = {};
        const ssize_t n = pread(fd.Get(), text, sizeof text - 1, 0);
        const int pid = n > 0 ? std::atoi(text) : 0;
        if (holder) *holder = reason == EWOULDBLOCK ? pid : -1;
        if (error) {
            if (reason == EWOULDBLOCK)
                *error = "The report of the profile \"" + std::string(profileName) + "\" is being made by another run" +
                         (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
                         "; try again when it has finished.";
            else
                *error = "The lock file " + path + " cannot be locked: " + std::strerror(reason);
        }
        return false;
    }
    // The holder's process id, for the message of a run that finds the lock taken.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd.Get(), 0) == 0) (void)!pwrite(fd.Get(), pid.data(), pid.size(), 0);
    Fd = std::move(fd);
    return true;
}
