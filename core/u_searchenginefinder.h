#pragma once
// Finds the search engine and the search phrase of a referrer: the phrase is the value
// of the first query parameter whose name is listed in "static/search_queries.dta".

#include <string>
#include <string_view>
#include <vector>

class TSEFinder {
public:
    // Parameter names that carry a search phrase: sorted, unique, letter case ignored.
    std::vector<std::string> QueryNames;
    std::string Phrase; // of the last successful Find
    std::string Engine; // of the last successful Find

    // Replaces QueryNames by the lines of the file (a missing file leaves the list empty).
    void Load(const std::string& fileName);
    void SetQueryNames(std::vector<std::string> names);
    // Whether the (decoded) referrer is a search; sets Engine and Phrase when it is.
    bool Find(std::string_view referrer);

private:
    bool IsQueryName(std::string_view name) const;
};

// The process-wide finder.
TSEFinder& SearchFinder();
