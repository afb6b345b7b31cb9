#include "sources/FileUtils.h"

#include "sources/CUtils.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

// Names in a folder, without "." and "..".
template <typename F> void ForEachEntry(const std::string& folder, F&& f) {
    TDirHandle dir(opendir(folder.c_str()));
    if (!dir) return;
    while (dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        f(std::string(name));
    }
}

bool IsRealDirectory(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the folder is ours alone: a real directory owned by this user.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    if ((st.st_mode & 0777) != 0700) chmod(path.c_str(), 0700);
    return true;
}

} // namespace

// Copies a regular file, replacing dest (a link at dest is replaced, not followed). On a
// failure the cut copy is removed and errno tells why.
static bool CopyOneFile(const std::string& source, const std::string& dest) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    unlink(dest.c_str());
    const int out = open(dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    int reason = ok ? 0 : errno;
    char buf[65536];
    while (ok) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, static_cast<size_t>(n));
    }
    if (!ok && reason == 0) reason = errno;
    close(in);
    // A full disk may show only when the file is closed.
    if (out >= 0 && close(out) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (!ok && out >= 0) unlink(dest.c_str());
    errno = reason;
    return ok;
}

bool TUniqueFd::Reset(int fd) {
    bool ok = true;
    if (Fd >= 0) ok = close(Fd) == 0;
    Fd = fd;
    return ok;
}

std::string EnsureTrailingChar(std::string_view text, char ch) {
    if (text.empty() || text.back() == ch) return std::string(text);
    return Trim(text) + ch;
}

std::string EnsureTrailingSeparator(std::string_view path) {
    return EnsureTrailingChar(path, kPathSeparator);
}

std::string StripExtension(std::string_view name, bool atLastDot) {
    const size_t dot = atLastDot ? name.rfind('.') : name.find('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string UpperExtension(std::string_view name) {
    const std::string file = ExtractFileName(name);
    const size_t dot = file.rfind('.');
    return dot == std::string::npos ? std::string() : UpperCase(std::string_view(file).substr(dot + 1));
}

std::string BaseNameNoExt(std::string_view path) {
    return ExtractFileName(StripExtension(path, true));
}

std::string ExtractFileName(std::string_view path) {
    const size_t sep = path.rfind(kPathSeparator);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const size_t sep = path.rfind(kPathSeparator);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

bool WriteAll(int fd, const char* data, size_t count) {
    while (count > 0) {
        const ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

// The longest file name part kept in a temporary's name, so that the name stays under
// the file system's limit whatever the target is called.
constexpr size_t kMaxTempStem = 120;
// Names tried before a temporary is given up: a clash needs another process of this pid.
constexpr int kTempAttempts = 100;

// Creates ".<name>.<pid>.<n>.tmp" in path's folder with mode 0666 less the umask; the descriptor,
// or -1 with errno set.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = ExtractFilePath(path);
    const std::string stem = "." + ExtractFileName(path).substr(0, kMaxTempStem) + "." + std::to_string(getpid()) + ".";
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        tempPath = folder + stem + std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

void SyncFolderOf(const std::string& path) {
    const std::string folder = ExtractFilePath(path);
    const TUniqueFd dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The new file is in place either way; a failed folder flush only delays its name.
    if (dir.Valid()) (void)fsync(dir.Get());
}

} // namespace

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error,
                         const TReplaceOptions& options) {
    std::string tempPath;
    TUniqueFd temp(CreateTemporaryBeside(path, tempPath));
    if (!temp.Valid()) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    int err = 0;
    const auto step = [&err](bool done) {
        if (!done && err == 0) err = errno != 0 ? errno : EIO;
        return done;
    };
    struct stat old {};
    const std::string& modeSource = options.ModeOf.empty() ? path : options.ModeOf;
    bool ok = stat(modeSource.c_str(), &old) != 0 || !S_ISREG(old.st_mode) ||
              step(fchmod(temp.Get(), old.st_mode & 07777) == 0);
    errno = 0;
    ok = ok && step(WriteAll(temp.Get(), contents.data(), contents.size()));
    ok = ok && (!options.Sync || step(fsync(temp.Get()) == 0));
    // A full disk may show only when the file is closed.
    ok = step(temp.Reset()) && ok;
    ok = ok && step(rename(tempPath.c_str(), path.c_str()) == 0);
    if (!ok) {
        unlink(tempPath.c_str());
        if (error) *error = path + ": " + std::strerror(err);
        return false;
    }
    if (options.Sync) SyncFolderOf(path);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    const std::string folder = EnsureTrailingSeparator(base) + "quorvel-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    if (IsPrivateFolder(folder)) return folder + "/";
    // Someone else holds that name (or it is a link): use a fresh private folder instead.
    static std::mutex mutex;
    static std::string fallback;
    std::lock_guard<std::mutex> lock(mutex);
    if (fallback.empty() || !IsPrivateFolder(fallback)) {
        std::string pattern = folder + "-XXXXXX";
        fallback = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    return fallback.empty() ? std::string() : fallback + "/";
}

void ForceFolders(std::string_view path) {
    std::string prefix;
    prefix.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == kPathSeparator && i > 0) mkdir(prefix.c_str(), 0777);
        prefix += path[i];
    }
    if (!prefix.empty()) mkdir(prefix.c_str(), 0777);
}

void EmptyFolder(const std::string& path, bool removeSelf) {
    const std::string folder = EnsureTrailingSeparator(path);
    ForEachEntry(folder, [&](const std::string& name) {
        const std::string full = folder + name;
        if (IsRealDirectory(full)) {
            if (name[0] != '.') EmptyFolder(full + "/", true);
        } else {
            unlink(full.c_str());
        }
    });
    if (removeSelf) rmdir(folder.c_str());
}

bool CopyFilesByMask(const std::string& source, const std::string& dest, std::string_view exclude,
                     std::string_view mask, std::string* error) {
    const std::string from = EnsureTrailingSeparator(source), to = EnsureTrailingSeparator(dest);
    const std::string excluded = UpperCase(exclude);
    // "*.*" names every entry, with or without a dot, as folder listings take it.
    const bool everything = mask == "*.*" || mask == "*";
    bool ok = true;
    const auto fail = [&](const std::string& path) {
        if (ok && error) *error = path + ": " + std::strerror(errno ? errno : EIO);
        ok = false;
    };
    ForceFolders(to);
    if (!IsRealDirectory(to.substr(0, to.size() - 1))) fail(to);
    ForEachEntry(from, [&](const std::string& name) {
        if (!everything && !MatchesMask(name, mask)) return;
        if (excluded.find(UpperCase(name) + ";") != std::string::npos) return;
        const std::string full = from + name;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            if (name[0] != '.' && !CopyFilesByMask(full + "/", to + name + "/", exclude, "*.*", ok ? error : nullptr))
                ok = false;
        } else if (FileExists(full)) {
            errno = 0;
            if (!CopyOneFile(full, to + name)) fail(to + name);
        }
    });
    return ok;
}

std::string ReadReportParam(std::string_view folder, std::string_view key) {
    std::ifstream in(EnsureTrailingSeparator(folder) + "params.ini", std::ios::binary);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string_view l = TrimView(line);
        if (l.empty() || l[0] == ';') continue;
        if (l.front() == '[') {
            const size_t close = l.find(']');
            inSection = close != std::string_view::npos && SameText(TrimView(l.substr(1, close - 1)), "OPTS");
            continue;
        }
        if (!inSection) continue;
        const size_t eq = l.find('=');
        if (eq == std::string_view::npos || !SameText(TrimView(l.substr(0, eq)), key)) continue;
        std::string_view value = TrimView(l.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

namespace {

constexpr std::string_view kPrivatePrefix = "q.";

} // namespace

pid_t PidInName(std::string_view name, std::string_view prefix, std::string_view* rest) {
    if (!name.starts_with(prefix)) return 0;
    name.remove_prefix(prefix.size());
    pid_t pid = 0;
    size_t i = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 100000000; ++i)
        pid = pid * 10 + (name[i] - '0');
    if (i == 0 || i >= name.size() || name[i] != '.') return 0;
    if (rest) *rest = name.substr(i + 1);
    return pid;
}

std::string MakePrivateTempFolder(std::string_view kind) {
    const std::string base = TempFolder();
    if (base.empty()) return {};
    std::string pattern =
        base + std::string(kPrivatePrefix) + std::to_string(getpid()) + "." + std::string(kind) + ".XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

bool ProcessIsAlive(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

void RemoveStalePrivateFolders() {
    const std::string base = TempFolder();
    if (base.empty()) return;
    ForEachEntry(base, [&](const std::string& name) {
        const pid_t owner = PidInName(name, kPrivatePrefix);
        if (owner == 0 || ProcessIsAlive(owner) || !IsRealDirectory(base + name)) return;
        EmptyFolder(base + name + "/", true);
    });
}

bool CopyFileOver(const std::string& source, const std::string& dest, std::string* error) {
    errno = 0;
    if (CopyOneFile(source, dest)) return true;
    if (error) *error = dest + ": " + std::strerror(errno ? errno : EIO);
    return false;
}
