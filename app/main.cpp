// The quorvel program: with arguments the unattended run (no Qt application is created, so no
// display is needed), without any the window.

#include "app/cli/UnattendedRun.h"
#include "app/gui/GuiRun.h"
#include "sources/SpecialFolders.h"

int main(int argc, char** argv) {
    SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    if (argc > 1) return RunUnattended(argc, argv);
    return RunWindow(argc, argv);
}
