// Fuzz target: the input as a log folder (one file, one gzip log, or two files split at the
// middle) read the way the analyser reads it: the profile's reader and NextLogEntry, with W3C
// "#Fields" and "#Date" directives switching the format as they come, and every delivered
// line made into a hit.

#include "core/LogEntry.h"
#include "profile/u_qvprofile.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

const char* const kFormats[] = {
    kDefaultLogFormat, "%y-%m-%d %h:%n:%s %H %M %f %q %c %b %a %r",
    "", // nothing until a "#Fields" directive
};

const std::string& Root() {
    static const std::string root = [] {
        char pattern[] = "/tmp/quorvel-fuzz-log-XXXXXX";
        std::string folder = mkdtemp(pattern) ? pattern : "/tmp/quorvel-fuzz-log";
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
        setenv("TMPDIR", folder.c_str(), 1);
        SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
        return folder + "/";
    }();
    return root;
}

void WriteLog(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string folder = Root() + "logs/";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const uint8_t control = data[0];
    // A gzip log expands to lines of its own number, and its trailer's size is only a guess.
    const bool gzip = (control & 0x90) == 0x80;
    const std::string_view log(reinterpret_cast<const char*>(data) + 1, size - 1);
    // A second file starts with whatever state the first one left behind.
    if (control & 0x10) {
        WriteLog(folder + "a.log", log.substr(0, log.size() / 2));
        WriteLog(folder + "b.log", log.substr(log.size() / 2));
    } else {
        WriteLog(folder + (gzip ? "a.log.gz" : "a.log"), log);
    }

    static TQVProfile profile; // one reader buffer for every run
    profile.LogPaths = {folder};
    profile.LogFormat = kFormats[control % 3];
    if (control & 0x20) {
        profile.OpenLogFiles();
        bool caseSensitive = true;
        DetectLogFormat(&profile.LogReader, caseSensitive, profile.LogFormat);
    }
    profile.OpenLogFiles();

    // At most one entry per line of the input, and progress within the set's size.
    const size_t lines = gzip ? SIZE_MAX
                              : static_cast<size_t>(std::count_if(log.begin(), log.end(),
                                                                  [](char c) { return c == '\n' || c == '\r'; })) +
                                    2;
    const TLogEntryOptions options{(control & 0x40) != 0, control % 3, (control % 25) - 12, 0};
    TLogEntry entry;
    size_t delivered = 0;
    while (profile.NextLogEntry()) {
        if (++delivered > lines || !profile.LineParser.Valid()) __builtin_trap();
        TLogEntryOptions current = options;
        current.CurrentDate = profile.CurrentDate;
        entry.AssignHitFields(profile.LineParser, current);
    }
    if (profile.LogReader.ProgressKB() < 0 || (!gzip && profile.LogReader.ProgressKB() > profile.LogReader.TotalKB + 1))
        __builtin_trap();
    return 0;
}
