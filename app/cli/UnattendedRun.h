#pragma once
// The unattended run: `quorvel PROFILE` makes one report without any window or display,
// shows its progress on a terminal and tells the result by its exit status.

// Handles every command line with arguments (a profile name, --help, --version or a wrong
// one) and returns the exit status.
int RunUnattended(int argc, char** argv);
