#pragma once
// The user's special folders behind the folder macros that paths in settings may start
// with ("%mydocuments%/logs/"), the application's identity with its per-user data folder,
// and the program folder that holds the read-only data (templates, languages, tables).

#include <string>
#include <string_view>

// Special-folder kinds, in the order of their macros.
constexpr int kFolderStartMenu = 0;    // "%startmenu%"
constexpr int kFolderDesktop = 1;      // "%desktop%"
constexpr int kFolderAppData = 2;      // "%appdata%"
constexpr int kFolderProgramFiles = 3; // "%programfiles%"
constexpr int kFolderCommonFiles = 4;  // "%commonfiles%"
constexpr int kFolderMyDocuments = 5;  // "%mydocuments%"
constexpr int kFolderMyMusic = 6;      // "%mymusic%"
constexpr int kFolderMyPictures = 7;   // "%mypictures%"
constexpr int kSpecialFolderCount = 8;

// Options of SpecialFolder.
constexpr int kFolderAllUsers = 1; // the shared value instead of the current user's
constexpr int kFolderFallback = 2; // the default folder when no value is configured

// The folder of a kind, without a trailing "/". Current user: the XDG user directories
// (user-dirs.dirs in $XDG_CONFIG_HOME, default ~/.config), $XDG_DATA_HOME (default
// ~/.local/share) for application data and its "applications" folder for the start menu.
// All users: /usr/share/applications, /usr/share, no desktop, documents, music or pictures.
// Both: /usr/local for program files, /usr/share for common files. With kFolderFallback a
// missing value becomes the XDG default (~/Desktop, ~/Documents, ~/Music, ~/Pictures, ...);
// without it the result is empty. A kind outside 0-7 reads kind 0 and never falls back.
std::string SpecialFolder(int kind, int options);

// path with a leading folder macro (its whole first component, any letter case) replaced
// by the current user's folder with fallback. Other paths, and paths whose folder cannot
// be found, are returned unchanged.
std::string ExpandFolderMacros(std::string_view path);

// Sets the process-wide identity once at start, before anything reads it, and creates
// the data folder with its parents.
void SetAppIdentity(std::string_view company, std::string_view product, std::string_view helpFile);
// "/Software/<company>/<product>": the name of the settings area.
const std::string& AppRegistryKey();
// The application-data folder + "<company>/<product>/".
const std::string& DataFolder();
// The per-user cache folder + "<company>/<product>/" ($XDG_CACHE_HOME, default ~/.cache), for
// files the program can always make again; "" before SetAppIdentity. Not created here.
std::string CacheFolder();
const std::string& AppName();
const std::string& HelpFileName();

// The program folder, ending in "/": $QUORVEL_HOME when set and not empty, else
// <executable dir>/../share/quorvel/ when it exists, else the source tree's data folder.
std::string ProgramFolder();
// The same decision for a given $QUORVEL_HOME value and executable file.
std::string ResolveProgramFolder(std::string_view quorvelHome, std::string_view executableFile);
