#pragma once
// A scratch folder for one test: created fresh under the system temporary folder,
// removed with everything in it when the test ends.

#include <string>
#include <string_view>

class TTestFolder {
public:
    TTestFolder();
    ~TTestFolder();
    TTestFolder(const TTestFolder&) = delete;
    TTestFolder& operator=(const TTestFolder&) = delete;

    // The folder's path, ending in "/".
    const std::string& Path() const { return Root; }
    // Writes a file (creating its folders) and returns its full path.
    std::string WriteFile(std::string_view relativeName, std::string_view content) const;
    static std::string ReadFile(const std::string& path);

private:
    std::string Root;
};

// The folder of the test fixtures, ending in "/".
std::string TestDataFolder();
