#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tessary::testing {

// Sets a variable of the test's own environment, or removes it (nullopt). Windows keeps no
// empty variables: an empty value removes it there.
inline void set_environment(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
#endif
}

}  // namespace tessary::testing
