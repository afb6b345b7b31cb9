#include "core/AgentClassification.h"

#include "core/AgentRules.h"
#include "core/u_cvtoken.h"
#include "sources/CUtils.h"

namespace {

// A comment or tail token that names an address rather than a product.
bool IsUrlToken(std::string_view token) {
    return HasHttpScheme(TrimView(token));
}

bool IsVersionNumber(std::string_view token) {
    for (char c : token)
        if (!(c >= '0' && c <= '9') && c != ',' && c != '.') return false;
    return true;
}

// The browser and system read from the agent's product, comment and tail tokens.
TAgentClass ClassifyByTokens(std::string_view agentText) {
    std::string agent(agentText);
    for (char& c : agent)
        if (c == '+') c = ' ';
    std::string browser, os;

    const std::string_view text = agent;
    const size_t open = text.find(" (");
    const size_t lastClose = text.rfind(')');
    const std::string_view product = open == std::string_view::npos || open == 0 ? text : text.substr(0, open);
    std::string_view comment;
    if (open != std::string_view::npos && lastClose != std::string_view::npos && lastClose > open + 1)
        comment = text.substr(open + 2, lastClose - open - 2);
    const std::string_view tail = lastClose == std::string_view::npos ? text : text.substr(lastClose + 1);

    if (!product.starts_with("Mozilla")) {
        browser = product;
    } else {
        TCVToken tokens;
        tokens.Delimiters = TCharSet(";)");
        tokens.MinLength = 3;
        tokens.SetText(comment);
        if (tokens.First() != "compatible") browser = product;
        for (std::string_view t = tokens.Next(); !t.empty() && os.empty(); t = tokens.Next()) {
            if (IsUrlToken(t)) continue;
            if (browser.empty()) {
                browser = t;
            } else {
                os = t;
            }
        }
        if (!tail.empty()) {
            TCVToken words;
            words.SetText(tail);
            for (std::string_view w = words.First(); !w.empty(); w = words.Next()) {
                if (IsUrlToken(w) || w[0] == '(' || w[0] == '[') continue;
                if (IsVersionNumber(w)) {
                    browser.append("/").append(w);
                } else {
                    browser = w;
                }
            }
        }
    }
    TAgentClass result{Trim(browser), Trim(os)};
    if (result.Browser.size() < 3) result.Browser = "Unknown";
    if (result.OS.size() < 3) result.OS = "Unknown";
    return result;
}

} // namespace

TAgentClass ClassifyAgent(std::string_view agent) {
    return ClassifyAgent(agent, AgentRules());
}

TAgentClass ClassifyAgent(std::string_view agent, const TAgentRules& rules) {
    TAgentClass named;
    rules.Classify(agent, named);
    if (!named.Browser.empty() && !named.OS.empty()) return named;
    TAgentClass result = ClassifyByTokens(agent);
    if (!named.Browser.empty()) result.Browser = std::move(named.Browser);
    if (!named.OS.empty()) result.OS = std::move(named.OS);
    return result;
}
