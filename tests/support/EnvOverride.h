#pragma once
// Sets (or, with nullopt, unsets) an environment variable until the end of the scope.
// A change of TZ is applied to the C library's time-zone state at once, and undone.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

class TEnvOverride {
public:
    TEnvOverride(const char* name, std::optional<std::string> value) : Name(name) {
        if (const char* old = std::getenv(name)) Old = old;
        Apply(value);
    }
    ~TEnvOverride() { Apply(Old); }
    TEnvOverride(const TEnvOverride&) = delete;
    TEnvOverride& operator=(const TEnvOverride&) = delete;

    void Set(std::optional<std::string> value) { Apply(value); }

private:
    void Apply(const std::optional<std::string>& value) {
        value ? setenv(Name, value->c_str(), 1) : unsetenv(Name);
        if (std::string_view(Name) == "TZ") tzset();
    }
    const char* Name;
    std::optional<std::string> Old;
};
