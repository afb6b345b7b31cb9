// quorvel-window: the program with its window, started by quorvel when it is given no argument.

#include "app/gui/GuiRun.h"
#include "sources/SpecialFolders.h"

int main(int argc, char** argv) {
    SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    return RunWindow(argc, argv);
}
