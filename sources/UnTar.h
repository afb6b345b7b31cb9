#pragma once
// Extracts the plain-file members of a tar archive into one folder, flat: each member is
// written under its file-name part, never outside the folder and never through a link.
// Folders, links, devices and other entries are passed over.

#include "sources/tarfile.h"

#include <cstdint>
#include <string>

enum class TOverwriteMode {
    Replace,     // an existing file (or link) of the member's name is replaced
    KeepExisting // an existing entry of the member's name is left and the member passed over
};

// What one ExtractAll did. Members written before damage stay in the folder.
struct TUnTarResult {
    bool Opened = false;  // the archive could be opened and the folder created
    bool Damaged = false; // the walk ended early: truncated or unreadable archive
    int Written = 0;      // members written to the folder (a replaced one counts again)
    int Failed = 0;       // members whose file could not be created or written
    bool Success() const { return Opened && !Damaged && Failed == 0; }
};

class TUnTar {
public:
    std::string ArchiveName;
    std::string ExtractFolder; // created when missing
    TOverwriteMode OverwriteMode = TOverwriteMode::Replace;

    // Writes every plain-file member with data of ArchiveName into ExtractFolder, each
    // with the member's modification time read as local time. A member whose data are
    // incomplete is not left in the folder.
    TUnTarResult ExtractAll();

    // The member read last.
    const std::string& GetMemberName() const { return MemberName; }

private:
    std::string MemberName;
    int64_t MemberSize = 0;
    TTarTime MemberTime;
};
