#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>

// The registry of a POSIX installation: a text file, named by KORVANE_REGISTRY_FILE or
// /etc/korvane/registry.ini, whose sections are full key paths and whose entries are
// value names:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\korvane]
//   DATABASE=store
//   SERVERNAME=dbhost\SQL2008
//
// Key paths and value names match without regard to letter case, as in the registry;
// blanks around names and values are dropped; lines starting with ';' or '#' are comments.
// Values are GBK, as the registry hands them to the program. The first entry of a name
// in a section counts.

namespace tessary::host {

inline constexpr const char* kRegistryFileVariable = "KORVANE_REGISTRY_FILE";
inline constexpr const char* kDefaultRegistryFile = "/etc/korvane/registry.ini";

// What keeps the file whose bytes start with `start` from being read as GBK text, in words
// (GBK): a UTF-8 byte order mark, or UTF-16 (its byte order mark, or zero bytes); nullopt
// when nothing does.
std::optional<std::string> registry_file_encoding_problem(std::string_view start);

// `key_path` includes the hive, e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane".
std::optional<std::string> find_registry_value(std::istream& file, const std::string& key_path,
                                               const std::string& value_name);

}  // namespace tessary::host
