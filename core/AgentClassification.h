#pragma once
// Classification of a user-agent text into a browser and an operating system, done
// once per visit from its first hit.

#include <string>
#include <string_view>

struct TAgentClass {
    std::string Browser;
    std::string OS;
};

// Browser and system of an agent; "Unknown" stands for a part that was not found.
TAgentClass ClassifyAgent(std::string_view agent);
