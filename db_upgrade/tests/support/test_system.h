#pragma once

#include <map>
#include <optional>
#include <string>

#include "host/host.h"

namespace tessary::testing {

// The machine of a test: the host's files, clock and separators, with the registry values
// and the working directory that the test sets.
class TestSystem final : public host::HostSystem {
  public:
    // Values under HKEY_LOCAL_MACHINE\SOFTWARE\korvane, by value name.
    std::map<std::string, std::string> registry;
    std::string current_dir = "/store/pos";

    std::optional<std::string> registry_string(const std::string& key,
                                               const std::string& value) override;
    std::string registry_problem() override { return {}; }
    std::string current_directory() override { return current_dir; }
};

}  // namespace tessary::testing
