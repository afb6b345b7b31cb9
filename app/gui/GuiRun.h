#pragma once
// The program with its window: the Qt application, the main window and its event loop, and
// the settings and DNS cache saved at the end.

// Runs the window until it is closed and returns the exit status. Without a display it says
// so in one line on standard error (and how to report without a window) and returns 1.
int RunWindow(int argc, char** argv);
