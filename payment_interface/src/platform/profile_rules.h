// The rules by which the Windows profile functions read an INI file, and the registry file
// that stands for the registry, on plain text: for the platforms where the library reads
// these files itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vortal::platform {

// The value of key in the first section of that name: blanks around it and one pair of
// quotes removed. Section and key names compare ignoring ASCII case; lines starting with ';'
// are comments. Nothing when the section or the key is missing.
std::optional<std::string> profile_value(std::string_view content, std::string_view section,
                                         std::string_view key);

// Whether a section of that name is there, its name compared ignoring ASCII case.
bool profile_has_section(std::string_view content, std::string_view section);

// A profile number: decimal with an optional sign, up to the first other character (none:
// 0), wrapping like the Windows 32-bit conversion.
int profile_number(std::string_view text);

// Whether profile_number reads the text as the number it shows: an optional sign and decimal
// digits, nothing after them, within 32 bits. "45s", "abc" and "4294967376" (read as 80) are
// not.
bool profile_number_exact(std::string_view text);

// The registry file: sections are full key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\Varnix"),
// entries "Name=value"; comments start with ';' or '#'. The first value of that name in the
// section of that key path, both compared ignoring ASCII case.
std::optional<std::string> registry_value(std::string_view content, std::string_view key_path,
                                          std::string_view value_name);

}  // namespace vortal::platform
