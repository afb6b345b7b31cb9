#include "report/ReportStaging.h"

#include "sources/FileUtils.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

std::string Reason(int error) {
    return std::strerror(error);
}

bool IsDirectoryNoFollow(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsEmptyFolder(const std::string& path) {
    std::unique_ptr<DIR, TDirCloser> dir(opendir(path.c_str()));
    if (!dir) return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") return false;
    }
    return true;
}

// A name not used yet in folder: prefix + pid + "." + a random word + suffix.
std::string UnusedName(const std::string& folder, std::string_view prefix, std::string_view suffix) {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    for (;;) {
        const std::string name = std::string(prefix) + std::to_string(getpid()) + "." +
                                 std::to_string(device() % 1000000) + std::to_string(counter++) + std::string(suffix);
        struct stat st {};
        if (lstat((folder + name).c_str(), &st) != 0 && errno == ENOENT) return name;
    }
}

int RenameExchange(const std::string& a, const std::string& b) {
    return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
}

} // namespace

bool IsReplaceableReport(const std::string& folder) {
    const std::string path = EnsureTrailingSeparator(folder);
    if (!IsDirectoryNoFollow(path.substr(0, path.size() - 1))) return false;
    return !ReadReportParam(path, "CreationDate").empty() || IsEmptyFolder(path);
}

void CleanReportBase(const std::string& baseFolder) {
    const std::string base = EnsureTrailingSeparator(baseFolder);
    std::unique_ptr<DIR, TDirCloser> dir(opendir(base.c_str()));
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir.get()))
        names.emplace_back(entry->d_name);
    for (const std::string& name : names) {
        std::string_view rest;
        if (const pid_t pid = PidInName(name, kStagingPrefix, &rest); pid != 0) {
            if (!ProcessIsAlive(pid) && IsDirectoryNoFollow(base + name)) EmptyFolder(base + name + "/", true);
        } else if (const pid_t owner = PidInName(name, kRetiredPrefix, &rest); owner != 0) {
            // "<pid>.<word>.<report name>": a swap was cut short between its two renames.
            const size_t dot = rest.find('.');
            if (ProcessIsAlive(owner) || dot == std::string_view::npos || !IsDirectoryNoFollow(base + name)) continue;
            const std::string original = base + std::string(rest.substr(dot + 1));
            struct stat st {};
            if (lstat(original.c_str(), &st) != 0 && errno == ENOENT &&
                rename((base + name).c_str(), original.c_str()) == 0)
                continue;
            EmptyFolder(base + name + "/", true);
        }
    }
}

TReportStaging::~TReportStaging() {
    if (!Staging.empty() && !Committed) EmptyFolder(Staging, true);
}

bool TReportStaging::Begin(const std::string& reportFolder, std::string* error) {
    Target = reportFolder;
    while (Target.size() > 1 && Target.back() == '/')
        Target.pop_back();
    const std::string base = ExtractFilePath(Target);
    ForceFolders(base);
    if (!IsDirectoryNoFollow(base.size() > 1 ? base.substr(0, base.size() - 1) : base)) {
        if (error) *error = "The report folder " + base + " cannot be created: " + Reason(errno ? errno : ENOTDIR);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = base + UnusedName(base, kStagingPrefix, "");
        if (mkdir(path.c_str(), 0777) == 0) {
            Staging = path + "/";
            return true;
        }
        if (errno != EEXIST) {
            if (error) *error = "A folder cannot be created in " + base + ": " + Reason(errno);
            return false;
        }
    }
    if (error) *error = "A folder cannot be created in " + base + ".";
    return false;
}

bool TReportStaging::Commit(std::string* error) {
    const std::string staging = Staging.substr(0, Staging.size() - 1);
    const auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    struct stat st {};
    if (lstat(Target.c_str(), &st) != 0) {
        if (errno != ENOENT) return fail(Target + ": " + Reason(errno));
        if (rename(staging.c_str(), Target.c_str()) != 0)
            return fail("The report cannot be moved to " + Target + ": " + Reason(errno));
        Committed = true;
        return true;
    }
    if (!IsReplaceableReport(Target))
        return fail("The folder " + Target + " exists and is not a report of this program; it was left as it is.");
    if (RenameExchange(staging, Target) == 0) {
        Committed = true;
        EmptyFolder(Staging, true); // now the previous report
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return fail("The report cannot be moved to " + Target + ": " + Reason(errno));
    // A file system without an atomic exchange: the old report is set aside first, and put
    // back by the next run if this one ends between the two renames.
    const std::string base = ExtractFilePath(Target);
    const std::string retired = base + UnusedName(base, kRetiredPrefix, "." + ExtractFileName(Target));
    if (rename(Target.c_str(), retired.c_str()) != 0)
        return fail("The previous report " + Target + " cannot be moved aside: " + Reason(errno));
    if (rename(staging.c_str(), Target.c_str()) != 0) {
        const int reason = errno;
        rename(retired.c_str(), Target.c_str());
        return fail("The report cannot be moved to " + Target + ": " + Reason(reason));
    }
    Committed = true;
    EmptyFolder(retired + "/", true);
    return true;
}
