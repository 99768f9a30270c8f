// Rewrites C++ source text so that its narrow literals hold GBK bytes whatever the compiler's
// execution character set: the route of clang, which has no GBK execution character set, to
// the bytes GCC makes with -fexec-charset=GBK.
#pragma once

#include <string>
#include <string_view>

namespace gbk_literals {

// Every ordinary ("..." and '...') and raw (R"d(...)d") narrow literal that holds a non-ASCII
// character or a universal character name (\u, \U) becomes an ordinary literal whose
// characters beyond ASCII are GBK bytes, each a three-digit octal escape: such an escape ends
// by itself, so no digit or hex letter after it can join it, and it also covers GBK trail
// bytes that read as ASCII ("\", "|"). A raw literal keeps its line breaks as concatenated
// pieces, so every line keeps its number. Everything else is kept byte for byte: comments,
// u8, u, U and L literals, line markers and the directives #include, #line, #pragma, #error
// and #warning, which carry file names or free text rather than literals.
// A literal with a character that has no GBK form stays as written behind
// _Pragma("GCC error \"file:line: ...\""), so the compiler stops only where it compiles that
// literal; file names the source there until a line marker names another. Throws
// std::runtime_error when the C library cannot convert to GBK at all.
std::string escape_literals(std::string_view source, const std::string& file);

}  // namespace gbk_literals
