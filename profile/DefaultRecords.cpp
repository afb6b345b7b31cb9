#include "profile/DefaultRecords.h"

#include "core/u_qvprofile_group.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <filesystem>
#include <system_error>

void InstallDefaultRecords() {
    namespace fs = std::filesystem;
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
