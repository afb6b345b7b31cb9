#pragma once
// Facts about the running program and system: the version text shown in the about box,
// the local time zone's offset from UTC, and the sort state of list-view columns.

#include <string>
#include <string_view>

// The version text of a program file: the project's version (every file of the program
// carries the same one).
std::string FileVersionString(std::string_view file);

// The local standard time's offset from UTC in whole hours, truncated toward zero
// (daylight saving not included): 1 for CET, 5 for India's UTC+5:30, -5 for EST.
int LocalUtcOffsetHours();

// Sort state of a list view: the low eight bits name the sorted column, kSortDescending
// marks descending order.
constexpr int kSortColumnMask = 0xFF;
constexpr int kSortDescending = 256;

// The state after a click on column's header: the sorted, ascending column turns
// descending; any other click sorts column ascending.
int NextSortState(int state, int column);
