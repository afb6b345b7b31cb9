#include "sources/SpecialFolders.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct TFolderKindInfo {
    std::string_view Macro;
    std::string_view UserDirsKey; // the key in user-dirs.dirs; empty when not a user directory
    std::string_view AllUsers;    // empty when there is no shared folder of the kind
    std::string_view Fallback;    // "~/" stands for the home folder
};

constexpr std::array<TFolderKindInfo, kSpecialFolderCount> kFolderKinds{{
    {"%startmenu%", "", "/usr/share/applications", "~/.local/share/applications"},
    {"%desktop%", "XDG_DESKTOP_DIR", "", "~/Desktop"},
    {"%appdata%", "", "/usr/share", "~/.local/share"},
    {"%programfiles%", "", "/usr/local", "/usr/local"},
    {"%commonfiles%", "", "/usr/share", "/usr/share"},
    {"%mydocuments%", "XDG_DOCUMENTS_DIR", "", "~/Documents"},
    {"%mymusic%", "XDG_MUSIC_DIR", "", "~/Music"},
    {"%mypictures%", "XDG_PICTURES_DIR", "", "~/Pictures"},
}};

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == kPathSeparator)
        path.pop_back();
    return path;
}

// $HOME, else the home folder of the account; empty when neither is known.
std::string HomeFolder() {
    std::string home = EnvValue("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        home = found->pw_dir;
    return home;
}

// An XDG base folder variable when it holds an absolute path (relative ones are ignored,
// as the XDG rules say), else home + defaultBelowHome.
std::string XdgBaseFolder(const char* variable, std::string_view defaultBelowHome, const std::string& home) {
    std::string value = EnvValue(variable);
    if (!value.empty() && value[0] == '/') return WithoutTrailingSeparators(std::move(value));
    if (home.empty()) return {};
    return home + std::string(defaultBelowHome);
}

// The value of a user-dirs.dirs line after "=": quotes removed, backslash escapes undone.
std::string UnquoteShellValue(std::string_view text) {
    text = TrimView(text);
    if (text.empty() || text[0] != '"') return std::string(text);
    std::string value;
    for (size_t i = 1; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        value += text[i];
    }
    return value;
}

// One XDG user directory from user-dirs.dirs; empty when missing or not usable. The file's
// values are "$HOME/..." or absolute paths; a later line overrides an earlier one.
std::string UserDirectory(std::string_view key, const std::string& home) {
    const std::string config = XdgBaseFolder("XDG_CONFIG_HOME", "/.config", home);
    if (config.empty()) return {};
    std::ifstream in(config + "/user-dirs.dirs");
    std::string result;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view trimmed = TrimView(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos || TrimView(trimmed.substr(0, equals)) != key) continue;
        std::string value = UnquoteShellValue(trimmed.substr(equals + 1));
        for (std::string_view homeName : {"$HOME", "${HOME}"}) {
            if (value.compare(0, homeName.size(), homeName) == 0 &&
                (value.size() == homeName.size() || value[homeName.size()] == '/')) {
                value = home.empty() ? std::string() : home + value.substr(homeName.size());
                break;
            }
        }
        result = !value.empty() && value[0] == '/' ? value : std::string();
    }
    return result;
}

std::string CurrentUserFolder(int kind, const std::string& home) {
    const TFolderKindInfo& info = kFolderKinds[kind];
    if (!info.UserDirsKey.empty()) return UserDirectory(info.UserDirsKey, home);
    const std::string dataHome = XdgBaseFolder("XDG_DATA_HOME", "/.local/share", home);
    if (kind == kFolderAppData) return dataHome;
    if (kind == kFolderStartMenu) return dataHome.empty() ? dataHome : dataHome + "/applications";
    return std::string(info.AllUsers);
}

struct TAppIdentity {
    std::string RegistryKey;
    std::string SubFolder; // "<company>/<product>/"
    std::string DataFolder;
    std::string Name;
    std::string HelpFile;
};

TAppIdentity& Identity() {
    static TAppIdentity identity;
    return identity;
}

} // namespace

std::string SpecialFolder(int kind, int options) {
    const bool known = kind >= 0 && kind < kSpecialFolderCount;
    const int k = known ? kind : kFolderStartMenu;
    const TFolderKindInfo& info = kFolderKinds[k];
    const std::string home = HomeFolder();
    std::string value;
    if (k == kFolderProgramFiles || k == kFolderCommonFiles || (options & kFolderAllUsers))
        value = info.AllUsers;
    else
        value = CurrentUserFolder(k, home);
    if (value.empty() && (options & kFolderFallback) && known) {
        if (info.Fallback.substr(0, 2) != "~/")
            value = info.Fallback;
        else if (!home.empty())
            value = home + std::string(info.Fallback.substr(1));
    }
    return WithoutTrailingSeparators(std::move(value));
}

std::string ExpandFolderMacros(std::string_view path) {
    if (path.empty() || path[0] != '%') return std::string(path);
    const std::string first = LowerCase(TokenAt(path, 0));
    for (int kind = 0; kind < kSpecialFolderCount; ++kind) {
        const std::string_view macro = kFolderKinds[kind].Macro;
        if (first != macro) continue;
        const std::string folder = SpecialFolder(kind, kFolderFallback);
        // Without a folder the macro would turn into a path below the root: keep it.
        const size_t at = LowerCase(path).find(macro);
        if (folder.empty() || at == std::string::npos) return std::string(path);
        std::string result(path);
        result.replace(at, macro.size(), folder);
        return result;
    }
    return std::string(path);
}

void SetAppIdentity(std::string_view company, std::string_view product, std::string_view helpFile) {
    TAppIdentity& identity = Identity();
    const std::string companyName(company);
    const std::string productName(product);
    identity.RegistryKey = "/Software/" + companyName + "/" + productName;
    identity.SubFolder = companyName + "/" + productName + "/";
    identity.DataFolder = EnsureTrailingSeparator(SpecialFolder(kFolderAppData, kFolderFallback)) + identity.SubFolder;
    identity.Name = productName;
    identity.HelpFile = std::string(helpFile);
    ForceFolders(identity.DataFolder);
}

const std::string& AppRegistryKey() {
    return Identity().RegistryKey;
}
const std::string& DataFolder() {
    return Identity().DataFolder;
}

std::string CacheFolder() {
    const TAppIdentity& identity = Identity();
    if (identity.SubFolder.empty()) return {};
    const std::string cacheHome = XdgBaseFolder("XDG_CACHE_HOME", "/.cache", HomeFolder());
    return cacheHome.empty() ? std::string() : cacheHome + "/" + identity.SubFolder;
}
const std::string& AppName() {
    return Identity().Name;
}
const std::string& HelpFileName() {
    return Identity().HelpFile;
}

std::string ResolveProgramFolder(std::string_view quorvelHome, std::string_view executableFile) {
    if (!quorvelHome.empty()) return EnsureTrailingSeparator(quorvelHome);
    if (!executableFile.empty()) {
        const std::filesystem::path installed =
            (std::filesystem::path(executableFile).parent_path() / ".." / "share" / "quorvel").lexically_normal();
        if (DirectoryExists(installed.string())) return EnsureTrailingSeparator(installed.string());
    }
    return QUORVEL_SOURCE_DATA_DIR;
}

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return ResolveProgramFolder(EnvValue("QUORVEL_HOME"), error ? std::string() : executable.string());
}
