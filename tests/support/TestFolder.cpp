#include "support/TestFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TTestFolder::TTestFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a test folder");
    Root = pattern + "/";
}

TTestFolder::~TTestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
}

std::string TTestFolder::WriteFile(std::string_view relativeName, std::string_view content) const {
    const std::filesystem::path path = std::filesystem::path(Root) / relativeName;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path.string();
}

std::string TTestFolder::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TestDataFolder() {
    return QUORVEL_TEST_DATA_DIR;
}
