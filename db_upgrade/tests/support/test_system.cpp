#include "test_system.h"

namespace tessary::testing {

std::optional<std::string> TestSystem::registry_string(const std::string& key,
                                                       const std::string& value) {
    if (key != "SOFTWARE\\korvane") return std::nullopt;
    const auto found = registry.find(value);
    if (found == registry.end()) return std::nullopt;
    return found->second;
}

}  // namespace tessary::testing
