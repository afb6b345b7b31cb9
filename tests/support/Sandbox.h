#pragma once
// A private data, cache and temporary folder for one test: XDG_DATA_HOME, XDG_CACHE_HOME and TMPDIR
// point into a scratch folder and the application identity is set up there, so that
// records, reports and temporary files never touch the real home folder.

#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include "sources/SpecialFolders.h"

#include <filesystem>
#include <string>

class TSandbox {
public:
    TSandbox() {
        std::filesystem::create_directories(Folder.Path() + "tmp");
        std::filesystem::create_directories(Folder.Path() + "home");
        SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    }

    TTestFolder Folder;

private:
    TEnvOverride Data{"XDG_DATA_HOME", Folder.Path() + "data"};
    TEnvOverride Cache{"XDG_CACHE_HOME", Folder.Path() + "cache"};
    TEnvOverride Temp{"TMPDIR", Folder.Path() + "tmp"};
    TEnvOverride Home{"HOME", Folder.Path() + "home"};
};
