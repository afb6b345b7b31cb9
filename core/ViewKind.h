#pragma once
// The 31 statistics views the analyser counts into, by what they count. A kind is the index
// of its view in the analyser's tables and the Kind of its rows and groups.

// Visit-level kinds count a closed visit once; hit-level kinds count each of its hits.
enum TViewKind : int {
    vkStatus = 0,              // hit: status code
    vkFileType = 1,            // hit: file extension
    vkHour = 2,                // visit: hour of its start, "00" to "23"
    vkWeekday = 3,             // visit: weekday of its start, "1" (Sunday) to "7"
    vkMonth = 4,               // visit: month of its start, "01" to "12"
    vkPage = 5,                // hit: path (pages and files)
    vkDirectory = 6,           // hit: directory of the path
    vkBrowser = 7,             // visit
    vkOS = 8,                  // visit: operating system
    vkReferrer = 9,            // visit
    vkReferringDomain = 10,    // visit
    vkErrorStatus = 11,        // hit: status code of an error
    vkHost = 12,               // visit: visitor's host name, else address
    vkSearchEngine = 13,       // visit
    vkKeyword = 14,            // visit: each word of the search phrase
    vkPhrase = 15,             // visit: search phrase
    vkCountry = 16,            // visit
    vkUser = 17,               // hit: authenticated user
    vkDay = 18,                // visit: day number of its start
    vkPageStatus = 19,         // hit: status, path
    vkTrackedPageDomain = 20,  // hit: tracked path, the visit's referring domain
    vkErrorPageStatus = 21,    // hit: status, path of an error
    vkEnginePhrase = 22,       // visit: search engine, phrase
    vkPageWithParams = 23,     // hit: path with at least one selected parameter
    vkPageParam = 24,          // hit: path, parameter "name=value"
    vkParam = 25,              // hit: parameter name
    vkParamValue = 26,         // hit: parameter name, value
    vkNavigationPath = 27,     // visit: its first six pages
    vkEntryPage = 28,          // visit
    vkExitPage = 29,           // visit
    vkTrackedEntryPhrase = 30, // visit: tracked entry page, search phrase
};

constexpr int kViewKindCount = vkTrackedEntryPhrase + 1;

// Whether the rows of a kind keep their counts day by day: only the views the report draws
// daily charts or daily tables of do. The others keep their totals alone, which spares a
// day list for every row counted on more than one day.
constexpr bool KeepsDays(int kind) {
    switch (kind) {
    case vkFileType:
    case vkPage:
    case vkDirectory:
    case vkBrowser:
    case vkOS:
    case vkReferringDomain:
    case vkErrorStatus:
    case vkSearchEngine:
    case vkKeyword:
        return true;
    default:
        return false;
    }
}
