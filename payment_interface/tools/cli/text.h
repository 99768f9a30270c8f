// The texts of vortal-cli: what its console shows and the library's GBK. On Linux the console
// is UTF-8; on Windows it is the ANSI code page, GBK on the store systems, and texts pass
// through unchanged.
#pragma once

#include <string>
#include <string_view>

bool to_gbk(std::string_view console_text, std::string& gbk);
bool from_gbk(std::string_view gbk, std::string& console_text);

// GBK (on Windows the ANSI code page) as UTF-8, on every system.
bool utf8_from_gbk(std::string_view gbk, std::string& utf8);
