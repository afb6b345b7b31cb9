#pragma once
// Records the program ships in its data folder ("groups/": the crawler groups that
// filters refer to by name) are copied into the user's data folder when missing, and a
// fresh data folder receives the profile "Demo" that reads the bundled sample logs.

// Copies every shipped group record whose name (letter case ignored) the user's data
// folder does not hold yet; records the user already has are never touched. Creates the
// "Demo" profile when the data folder has no profiles folder yet.
void InstallDefaultRecords();
