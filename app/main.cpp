// The quorvel program: with arguments the unattended run, which needs neither Qt nor a
// display; without any, the window, which is a program of its own (quorvel-window, beside this
// one) so that an unattended run does not load the window's libraries.

#include "app/cli/UnattendedRun.h"
#include "sources/SpecialFolders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// Replaces this process with the window program; returns only when it cannot be started.
int RunWindowProgram(char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(argv[0]).parent_path() : self.parent_path();
    const std::string window = (folder / "quorvel-window").string();
    argv[0] = const_cast<char*>(window.c_str());
    execv(window.c_str(), argv);
    std::fprintf(stderr, "quorvel: the window cannot be opened: %s cannot be started (%s)\n", window.c_str(),
                 std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    if (argc > 1) return RunUnattended(argc, argv);
    return RunWindowProgram(argv);
}
