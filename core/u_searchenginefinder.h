#pragma once
// Finds the search engine and the search phrase of a referrer: the phrase is the value of the first
// query parameter whose name is listed in "static/search_queries.dta"; a host listed in
// "static/search_engines.dta" names its engine, with or without a phrase.

#include <string>
#include <string_view>
#include <vector>

class TSEFinder {
public:
    // A host pattern of "static/search_engines.dta": lower-case labels, "*" standing for any one label.
    struct THostPattern {
        std::vector<std::string> Labels;
        std::string Engine;
    };

    // Parameter names that carry a search phrase: sorted, unique, letter case ignored.
    std::vector<std::string> QueryNames;
    std::vector<THostPattern> HostPatterns;
    // The lines of the last LoadHosts that were left out, each with its number and why.
    std::vector<std::string> HostProblems;
    std::string Phrase; // of the last successful Find; empty for a known engine without a phrase
    std::string Engine; // of the last successful Find

    // Replaces QueryNames by the lines of the file (a missing file leaves the list empty).
    void Load(const std::string& fileName);
    void SetQueryNames(std::vector<std::string> names);
    // Replaces HostPatterns by the file's "pattern  Engine name" lines (a missing file leaves none).
    void LoadHosts(const std::string& fileName);
    // Adds one pattern; false (and nothing added) when it has an empty label or the name is empty.
    bool AddHost(std::string_view pattern, std::string_view engine);
    // Whether the (decoded) referrer is a search; sets Engine and Phrase when it is.
    bool Find(std::string_view referrer);
    // The engine of the referrer's host, or nullptr when no pattern matches it.
    const std::string* KnownEngine(std::string_view referrer) const;

private:
    bool IsQueryName(std::string_view name) const;
};

// The process-wide finder.
TSEFinder& SearchFinder();
