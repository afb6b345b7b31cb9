#include "report/ReportHeaders.h"

#include "profile/ProfileHeaders.h"
#include "report/CLangReader.h"
#include "report/ReportFolder.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>

namespace {

struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The names in folder (ending in "/") except "." and "..", sorted; nothing when it cannot be read.
std::vector<std::string> SortedEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TDateTime ReadDay(const std::string& folder, std::string_view key) {
    return static_cast<TDateTime>(StrToInt64Def(ReadReportParam(folder, key), 0));
}

} // namespace

std::vector<std::string> ListReportFolders(const std::string& baseFolder) {
    const std::string base = EnsureTrailingSeparator(baseFolder);
    std::vector<std::string> names = SortedEntries(base);
    std::erase_if(names, [&](const std::string& name) {
        return name[0] == '.' || !DirectoryExists(base + name) || !FileExists(base + name + "/params.ini");
    });
    return names;
}

TReportHeader ReadReportHeader(const std::string& baseFolder, const std::string& folderName) {
    const std::string folder = EnsureTrailingSeparator(baseFolder) + folderName + "/";
    TReportHeader header;
    header.FolderName = folderName;
    if (std::string file = ReadReportParam(folder, "DefaultFile"); !file.empty()) header.DefaultFile = std::move(file);
    header.CreationDate = ReadDay(folder, "CreationDate");
    header.StartDate = ReadDay(folder, "StartDate");
    header.EndDate = ReadDay(folder, "EndDate");
    return header;
}

std::vector<TReportHeader> ListReportHeaders(const std::string& baseFolder) {
    std::vector<TReportHeader> headers;
    for (const std::string& name : ListReportFolders(baseFolder))
        headers.push_back(ReadReportHeader(baseFolder, name));
    return headers;
}

bool DeleteReportFolder(const std::string& baseFolder, const std::string& folderName, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (folderName.empty() || folderName == "." || folderName == ".." || folderName.find('/') != std::string::npos)
        return fail("\"" + folderName + "\" is not the name of a report folder");
    const std::string folder = EnsureTrailingSeparator(baseFolder) + folderName;
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return fail(folder + " does not exist");
    // A link named like a report points elsewhere: deleting through it could reach anything.
    if (S_ISLNK(info.st_mode)) return fail(folder + " is a link, not a report folder");
    if (!S_ISDIR(info.st_mode)) return fail(folder + " is not a folder");
    // remove_all removes links inside as links and never descends into their targets.
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (ec) return fail(folder + ": " + ec.message());
    return true;
}

int CompareReportHeaders(const TReportHeader& a, const TReportHeader& b, int32_t sortState) {
    int result = 0;
    switch (SortColumn(sortState)) {
    case 0:
        result = a.FolderName.compare(b.FolderName);
        break;
    case 1:
        result = CompareDays(a.StartDate, b.StartDate);
        break;
    case 2:
        result = CompareDays(a.EndDate, b.EndDate);
        break;
    case 3:
        result = CompareDays(a.CreationDate, b.CreationDate);
        break;
    default:
        break;
    }
    return SortedSign(result, sortState);
}

std::vector<std::string> ListTemplates() {
    std::vector<std::string> names = SortedEntries(ProgramFolder() + "templates/");
    std::erase_if(names, [](const std::string& name) { return !HasPageStylesheets(ReportTemplateFolder(name)); });
    return names;
}

std::vector<std::string> ListReportLanguages() {
    std::vector<std::string> names;
    TCLangReader().ListLanguages(names);
    return names;
}
