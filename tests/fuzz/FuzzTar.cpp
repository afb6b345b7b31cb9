// Fuzz target: tar archives through the extractor into a scratch folder; nothing may be
// written outside it, and nothing but plain files inside it.

#include "sources/UnTar.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string root = [] {
        char pattern[] = "/tmp/quorvel-fuzz-tar-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp/quorvel-fuzz-tar") + "/";
    }();
    const std::string archive = root + "input.tar";
    const std::string folder = root + "out/";
    fs::remove_all(folder);
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    TUnTar untar;
    untar.ArchiveName = archive;
    untar.ExtractFolder = folder;
    untar.ExtractAll();
    // Only the archive and the extraction folder may exist beside each other.
    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (name != "input.tar" && name != "out") __builtin_trap();
    }
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (!entry.is_regular_file() || entry.is_symlink()) __builtin_trap();
    return 0;
}
