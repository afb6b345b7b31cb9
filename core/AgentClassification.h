#pragma once
// Classification of a user-agent text into a browser and an operating system, done
// once per distinct agent: the agent rules first, the agent's own tokens for what they miss.

#include <string>
#include <string_view>

class TAgentRules;

struct TAgentClass {
    std::string Browser;
    std::string OS;
};

// Browser and system of an agent; a robot named by the rules gets system "Robot";
// "Unknown" stands for a part that was not found.
TAgentClass ClassifyAgent(std::string_view agent);
// The same with the given rules in place of the process-wide ones.
TAgentClass ClassifyAgent(std::string_view agent, const TAgentRules& rules);
