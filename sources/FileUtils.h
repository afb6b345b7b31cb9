#pragma once
// Path and folder helpers: trailing separators, extensions, the private temporary
// folder, folder creation and emptying, template copying, "params.ini" reading and the
// one safe way to replace a file. Folder paths end in the separator "/".

#include <cstddef>
#include <sys/types.h>
#include <string>
#include <string_view>

constexpr char kPathSeparator = '/';

// An owned POSIX file descriptor, closed on destruction.
class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : Fd(fd) {}
    ~TUniqueFd() { Reset(); }
    TUniqueFd(TUniqueFd&& other) noexcept : Fd(other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;

    int Get() const { return Fd; }
    bool Valid() const { return Fd >= 0; }
    int Release() {
        const int fd = Fd;
        Fd = -1;
        return fd;
    }
    // Closes the descriptor; returns false when close reported an error.
    bool Reset(int fd = -1);

private:
    int Fd = -1;
};

// text unchanged when empty or ending in ch; otherwise the trimmed text followed by ch.
std::string EnsureTrailingChar(std::string_view text, char ch);
std::string EnsureTrailingSeparator(std::string_view path);

// name cut before its last (atLastDot) or first dot, wherever it is; unchanged without one.
std::string StripExtension(std::string_view name, bool atLastDot);
// The file part's extension after its last dot, upper-cased; "" when there is none.
std::string UpperExtension(std::string_view name);
// The file part of path without its extension.
std::string BaseNameNoExt(std::string_view path);
// The part after the last separator, and the part up to and including it.
std::string ExtractFileName(std::string_view path);
std::string ExtractFilePath(std::string_view path);

bool FileExists(const std::string& path);
// Writes every byte to the descriptor, retrying after interruptions; false on an error.
bool WriteAll(int fd, const char* data, size_t count);
bool DirectoryExists(const std::string& path);

struct TReplaceOptions {
    // Flushes the new file to disk before the rename and the folder after it. Off for
    // scratch files, or where the caller flushes the file system itself afterwards.
    bool Sync = true;
    // The existing file whose permission bits the new file takes; "" for path itself.
    std::string ModeOf;
};
// Replaces path with contents through a temporary file of this process in the same folder,
// renamed over it: a reader sees the old file or the new one, never a part. The new file
// keeps the permission bits of the one it replaces (a new one gets 0666 less the umask).
// False with the file and the reason in *error; path is then as it was, no temporary left.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error = nullptr,
                         const TReplaceOptions& options = {});

// The per-user private temporary folder ($TMPDIR or /tmp, then "quorvel-<uid>/"),
// created with mode 0700 and owned by the user; ends in "/".
std::string TempFolder();
// Creates every folder along path; existing folders and failures are ignored.
void ForceFolders(std::string_view path);
// Deletes the files of path (ending in "/") and, recursively, its sub-folders whose
// names do not start with "."; removes path itself when removeSelf. Links are deleted,
// never followed.
void EmptyFolder(const std::string& path, bool removeSelf);
// Copies a regular file over dest (a link at dest is replaced, not followed); false with
// the file and the reason in *error.
bool CopyFileOver(const std::string& source, const std::string& dest, std::string* error = nullptr);
// Copies the entries of source matching mask into dest ("*.*" names every entry),
// replacing existing files; names in the ";"-terminated exclude list (any case) are
// skipped at every level; matching sub-folders not starting with "." are copied whole.
// Goes on past a failure; false when anything could not be copied, with the first file
// and its reason in *error.
bool CopyFilesByMask(const std::string& source, const std::string& dest, std::string_view exclude,
                     std::string_view mask, std::string* error = nullptr);
// The value of key in section [OPTS] of folder's "params.ini"; "" when missing.
std::string ReadReportParam(std::string_view folder, std::string_view key);

// A new folder of this process alone inside TempFolder(), "q.<pid>.<kind>.XXXXXX/", so that
// runs at the same time never share temporary files; "" when it cannot be made.
std::string MakePrivateTempFolder(std::string_view kind);
// Removes the private folders of processes that no longer run (a killed run's leftovers).
void RemoveStalePrivateFolders();
// The process id in a name made of prefix, the id, "." and the rest (put in *rest); 0 for
// other names.
pid_t PidInName(std::string_view name, std::string_view prefix, std::string_view* rest = nullptr);
// Whether a process of that id exists.
bool ProcessIsAlive(pid_t pid);
