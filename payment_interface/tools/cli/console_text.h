// Texts between the console and the payment library, whose texts are GBK. On Linux the
// console is UTF-8; on Windows the program's texts are in the ANSI code page, GBK on the store
// systems, and go through unchanged.
#pragma once

#include <string>
#include <string_view>

// A text typed on the console, as GBK; false when GBK cannot hold it.
bool to_gbk(std::string_view text, std::string& out);

// A GBK text as the console shows it; false when it is not GBK.
bool from_gbk(std::string_view text, std::string& out);

// A GBK text as UTF-8, on every system (for JSON); false when it is not GBK.
bool gbk_to_utf8(std::string_view text, std::string& out);
