// Fuzz target: user-agent classification and the search-phrase finder.

#include "core/AgentClassification.h"
#include "core/AgentRules.h"
#include "core/u_searchenginefinder.h"
#include "sources/SpecialFolders.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static const bool rulesLoaded = [] { // the shipped agent rules, as a run uses them
        AgentRules().LoadOnce(ProgramFolder() + "static/agents.dta");
        return true;
    }();
    (void)rulesLoaded;
    const TAgentClass agent = ClassifyAgent(input);
    if (agent.Browser.empty() || agent.OS.empty()) __builtin_trap(); // never empty
    static TSEFinder finder = [] {
        TSEFinder f;
        f.SetQueryNames({"q", "p", "query", "text", "wd"});
        return f;
    }();
    if (finder.Find(input) && (finder.Engine.size() > 100 || finder.Phrase.size() > 100)) __builtin_trap();
    return 0;
}
