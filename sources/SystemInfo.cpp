#include "sources/SystemInfo.h"

#include <ctime>

std::string FileVersionString(std::string_view /*file*/) {
    return QUORVEL_VERSION;
}

int LocalUtcOffsetHours() {
    tzset();
    // timezone holds the seconds to add to local standard time to get UTC.
    return static_cast<int>(-timezone / 3600);
}

int NextSortState(int state, int column) {
    const bool sameColumn = (state & kSortColumnMask) == column;
    const bool ascending = (state & kSortDescending) == 0;
    return sameColumn && ascending ? column + kSortDescending : column;
}
