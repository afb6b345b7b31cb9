// Fuzz target: record files (a profile, a filter, a group) loaded from bytes of the input,
// in a scratch data folder of the fuzzer's own.

#include "core/u_qvprofile_filter.h"
#include "core/u_qvprofile_group.h"
#include "profile/u_qvprofile.h"
#include "sources/SpecialFolders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string& DataRoot() {
    static const std::string root = [] {
        char pattern[] = "/tmp/quorvel-fuzz-XXXXXX";
        std::string folder = mkdtemp(pattern) ? pattern : "/tmp";
        setenv("XDG_DATA_HOME", folder.c_str(), 1);
        SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
        return folder;
    }();
    return root;
}

void Write(const std::string& folder, const uint8_t* data, size_t size) {
    const std::string dir = DataFolder() + folder + "/";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "fuzz.xml", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DataRoot();
    Write("profiles", data, size);
    Write("filters", data, size);
    Write("groups", data, size);
    TQVProfile profile;
    profile.Load("fuzz");
    profile.SetRangeType(profile.RptRangeType);
    profile.RowKept(1, 3, 0);
    TQVFilter filter;
    filter.Load("fuzz");
    for (int i = 0; i < filter.LineCount(); ++i)
        TQVFilter::Describe(*filter.Line(i));
    TQVGroup group;
    group.Load("fuzz");
    group.Matches("/index.html");
    return 0;
}
