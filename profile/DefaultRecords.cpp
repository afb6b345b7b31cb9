#include "profile/DefaultRecords.h"

#include "core/u_qvprofile_group.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <filesystem>
#include <system_error>

namespace {

// The demonstration profile: the sample logs of the program folder, every section.
void CreateDemoProfile() {
    TQVProfile demo;
    demo.InitNew();
    demo.SetName("Demo");
    const std::string samples = ProgramFolder() + "samples/";
    // The extended log last: its "#Fields" lines set the layout for the rest of a pass.
    demo.LogPaths = {samples, samples + "w3c/"};
    demo.OpenExt = true;
    demo.LogExts = "log;gz;";
    demo.AddGroupName("crawlers");
    demo.Save();
}

} // namespace

void InstallDefaultRecords() {
    namespace fs = std::filesystem;
    if (!DirectoryExists(DataFolder() + "profiles")) CreateDemoProfile();
    const fs::path shipped = ProgramFolder() + "groups";
    std::error_code ec;
    TQVGroup groups; // its store looks record names up without regard to case
    for (const fs::directory_entry& entry : fs::directory_iterator(shipped, ec)) {
        const std::string file = entry.path().filename().string();
        if (!entry.is_regular_file(ec) || UpperExtension(file) != "XML") continue;
        const std::string name = StripExtension(file, true);
        if (groups.Store->RecordExists(name)) continue;
        const std::string target = DataFolder() + "groups/";
        ForceFolders(target);
        fs::copy_file(entry.path(), target + file, fs::copy_options::skip_existing, ec);
    }
}
