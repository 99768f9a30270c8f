// Texts between vortal-cli's user and the payment library, whose texts are GBK. What the
// program prints is UTF-8 on every system: a Windows console is handed it as Unicode
// (WriteConsoleW), so it shows right whatever the console's code page, and output redirected
// to a file or a pipe is UTF-8 with LF line ends. Requests typed on the command line are
// UTF-8 on Linux and in the ANSI code page (GBK on the store systems) on Windows.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A request typed on the command line, as GBK; false when GBK cannot hold it.
bool to_gbk(std::string_view text, std::string& out);

// A GBK text as UTF-8; false when it is not GBK.
bool gbk_to_utf8(std::string_view text, std::string& out);

// A GBK text as UTF-8; a text that is not GBK keeps its ASCII bytes, '?' for the others.
std::string shown(std::string_view gbk);

// A file name as UTF-8: on Windows it is in the ANSI code page; on Linux its bytes are shown
// as they are.
std::string shown_path(const std::string& path);

// printf to stdout or stderr, through the console's Unicode output where it is a console.
#if defined(__MINGW_PRINTF_FORMAT)
#define VORTAL_CLI_PRINTF __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#else
#define VORTAL_CLI_PRINTF __attribute__((format(printf, 2, 3)))
#endif
void print_to(std::FILE* stream, const char* format, ...) VORTAL_CLI_PRINTF;

// Writes bytes to stdout unchanged (the record of --raw).
void write_raw(std::string_view bytes);
