#include "sources/UnTar.h"

#include "sources/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

namespace {

constexpr size_t kCopyBlockSize = 65536;

// The name a member is written under in the folder: its file-name part, so that no
// member name reaches outside; "" when that part names no file.
std::string TargetName(const std::string& memberName) {
    std::string name = ExtractFileName(memberName);
    if (name == "." || name == "..") return {};
    return name;
}

// Sets the file's modification time to the calendar parts taken as local time.
void SetModificationTime(int fd, const TTarTime& time) {
    tm local{};
    local.tm_year = time.Year - 1900;
    local.tm_mon = time.Month - 1;
    local.tm_mday = time.Day;
    local.tm_hour = time.Hour;
    local.tm_min = time.Minute;
    local.tm_sec = time.Second;
    local.tm_isdst = -1;
    local.tm_yday = -1; // stays -1 when mktime fails
    const time_t seconds = mktime(&local);
    if (local.tm_yday < 0) return;
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    futimens(fd, times);
}

// Copies the current member's data into the folder under name, replacing what is there.
// A member that cannot be completed is removed again.
void CopyMember(TTarFile& tar, int folderFd, const std::string& name, const TTarTime& time, std::vector<char>& buffer,
                TUnTarResult& result) {
    // The first block is read before the target is touched: data that run past the end
    // of the archive are found here and leave an existing file alone.
    size_t count = tar.ReadData(buffer.data(), buffer.size());
    if (tar.GetState() == TarError) return;

    // Removing the old entry first means a link there is replaced, never written through.
    unlinkat(folderFd, name.c_str(), 0);
    TUniqueFd out(openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    const bool created = out.Valid();
    bool ok = created;
    while (ok) {
        ok = WriteAll(out.Get(), buffer.data(), count);
        if (!ok || tar.GetState() != TarData) break;
        count = tar.ReadData(buffer.data(), buffer.size());
        ok = tar.GetState() != TarError;
    }
    if (tar.GetState() == TarData) tar.SkipData(); // the file failed: pass over the rest

    if (ok) {
        SetModificationTime(out.Get(), time);
        ok = out.Reset();
    }
    if (ok) {
        ++result.Written;
        return;
    }
    out.Reset();
    if (created) unlinkat(folderFd, name.c_str(), 0);
    if (tar.GetState() != TarError) ++result.Failed;
}

} // namespace

TUnTarResult TUnTar::ExtractAll() {
    TUnTarResult result;
    MemberName.clear();
    MemberSize = 0;
    MemberTime = {};

    const std::string folder = EnsureTrailingSeparator(ExtractFolder);
    if (folder.empty()) return result;
    ForceFolders(folder);
    const TUniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    TTarFile tar;
    if (!folderFd.Valid() || !tar.Open(ArchiveName)) return result;
    result.Opened = true;

    std::vector<char> buffer(kCopyBlockSize);
    while (!tar.AtEnd() && tar.GetState() != TarError && tar.GetState() != TarEnd) {
        MemberName = tar.ReadHeader();
        MemberSize = tar.ReadSize();
        if (MemberSize < 1) continue;
        MemberTime = tar.ReadTime();

        const std::string target = tar.IsRegularFile() ? TargetName(MemberName) : std::string();
        struct stat st {};
        const bool keep = OverwriteMode == TOverwriteMode::KeepExisting && !target.empty() &&
                          fstatat(folderFd.Get(), target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (target.empty() || keep) {
            tar.SkipData();
            continue;
        }
        CopyMember(tar, folderFd.Get(), target, MemberTime, buffer, result);
    }
    result.Damaged = tar.GetState() == TarError;
    return result;
}
