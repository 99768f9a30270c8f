#include "gbk_literals.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

namespace gbk_literals {

namespace {

class NoGbkForm : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr std::size_t kLongestRawDelimiter = 16;

bool is_identifier_start(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool is_identifier_char(char c) {
    return is_identifier_start(c) || (c >= '0' && c <= '9');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};

// UTF-8 to GBK with the C library's tables, the ones GCC's -fexec-charset=GBK uses. place is
// "file:line".
std::string to_gbk(std::string_view utf8, const std::string& place) {
    static const std::unique_ptr<void, IconvCloser> converter(iconv_open("GBK", "UTF-8"));
    if (converter.get() == reinterpret_cast<void*>(-1)) {
        throw std::runtime_error(place + ": the C library has no UTF-8 to GBK conversion");
    }
    const auto handle = static_cast<iconv_t>(converter.get());
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::string gbk(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    char* out = gbk.data();
    std::size_t out_left = gbk.size();
    if (iconv(handle, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
        throw NoGbkForm(place + ": \"" + std::string(utf8) + "\" has no GBK form" +
                        (errno == EILSEQ ? "" : " (or is not UTF-8)"));
    }
    gbk.resize(gbk.size() - out_left);
    return gbk;
}

std::string utf8_of(std::uint32_t code_point) {
    std::string utf8;
    if (code_point < 0x80) {
        utf8 += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        utf8 += static_cast<char>(0xC0 | (code_point >> 6));
        utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (code_point >> 12));
        utf8 += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (code_point >> 18));
        utf8 += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
    }
    return utf8;
}

void append_octal(std::string& out, unsigned char byte) {
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

void append_gbk(std::string& out, std::string_view utf8, const std::string& place) {
    for (const char byte : to_gbk(utf8, place)) append_octal(out, static_cast<unsigned char>(byte));
}

// The length of the run of bytes beyond ASCII at the start of text.
std::size_t non_ascii_run(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && static_cast<unsigned char>(text[length]) >= 0x80) ++length;
    return length;
}

class Rewriter {
  public:
    Rewriter(std::string_view source, std::string file) : source_(source), file_(std::move(file)) {}

    std::string run() {
        while (at_ < source_.size()) step();
        return std::move(out_);
    }

  private:
    char peek(std::size_t ahead = 0) const {
        return at_ + ahead < source_.size() ? source_[at_ + ahead] : '\0';
    }

    std::string place(std::size_t line) const { return file_ + ":" + std::to_string(line); }

    void copy(std::size_t length) {
        const std::string_view piece = source_.substr(at_, length);
        for (const char c : piece) {
            if (c == '\n') ++line_;
        }
        out_ += piece;
        at_ += piece.size();
    }

    // To the end of the line, line splices included.
    void copy_rest_of_line() {
        std::size_t end = at_;
        while (end < source_.size() && source_[end] != '\n') {
            if (source_[end] == '\\' && end + 1 < source_.size() && source_[end + 1] == '\n') {
                ++end;
            }
            ++end;
        }
        copy(end - at_);
    }

    void step() {
        const char c = peek();
        if (c == '\n') {
            copy(1);
            line_start_ = true;
            if (pending_line_ != 0) {
                line_ = pending_line_;
                if (!pending_file_.empty()) file_ = pending_file_;
                pending_line_ = 0;
                pending_file_.clear();
            }
            return;
        }
        if (is_blank(c)) {
            copy(1);
            return;
        }
        const bool directive = line_start_ && c == '#';
        line_start_ = false;
        if (directive) {
            directive_start();
        } else if (c == '/' && peek(1) == '/') {
            copy_rest_of_line();
        } else if (c == '/' && peek(1) == '*') {
            const std::size_t end = source_.find("*/", at_ + 2);
            copy(end == std::string_view::npos ? source_.size() - at_ : end + 2 - at_);
        } else if (is_digit(c) || (c == '.' && is_digit(peek(1)))) {
            number();
        } else if (is_identifier_start(c)) {
            identifier_or_prefixed_literal();
        } else if (c == '"' || c == '\'') {
            ordinary_literal();
        } else {
            copy(1);
        }
    }

    void directive_start() {
        std::size_t name = at_ + 1;
        while (name < source_.size() && is_blank(source_[name])) ++name;
        std::size_t name_end = name;
        while (name_end < source_.size() && is_identifier_char(source_[name_end])) ++name_end;
        const std::string_view word = source_.substr(name, name_end - name);
        const bool line_marker = !word.empty() && is_digit(word.front());
        if (line_marker || word == "line") follow_line_marker(line_marker ? name : name_end);
        if (line_marker || word == "include" || word == "include_next" || word == "import" ||
            word == "line" || word == "pragma" || word == "error" || word == "warning") {
            copy_rest_of_line();
        } else {
            copy(1);
        }
    }

    // "# 12 "file"" and "#line 12 "file"": the next line is line 12 of file.
    void follow_line_marker(std::size_t number) {
        while (number < source_.size() && is_blank(source_[number])) ++number;
        std::size_t end = number;
        while (end < source_.size() && is_digit(source_[end])) ++end;
        if (end == number) return;
        pending_line_ = std::stoul(std::string(source_.substr(number, end - number)));
        const std::size_t quote = source_.find('"', end);
        const std::size_t line_end = source_.find('\n', end);
        if (quote < line_end) {
            const std::size_t close = source_.find('"', quote + 1);
            if (close < line_end) pending_file_ = source_.substr(quote + 1, close - quote - 1);
        }
    }

    // A preprocessing number, with its digit separators (1'000) and exponent signs.
    void number() {
        std::size_t end = at_ + 1;
        while (end < source_.size()) {
            const char c = source_[end];
            const char previous = source_[end - 1];
            const char next = end + 1 < source_.size() ? source_[end + 1] : '\0';
            if (is_identifier_char(c) || c == '.') {
                ++end;
            } else if (c == '\'' && is_identifier_char(next)) {
                end += 2;
            } else if ((c == '+' || c == '-') &&
                       (previous == 'e' || previous == 'E' || previous == 'p' || previous == 'P')) {
                ++end;
            } else {
                break;
            }
        }
        copy(end - at_);
    }

    void identifier_or_prefixed_literal() {
        std::size_t end = at_;
        while (end < source_.size() && is_identifier_char(source_[end])) ++end;
        const std::string_view word = source_.substr(at_, end - at_);
        const char quote = end < source_.size() ? source_[end] : '\0';
        if (quote == '"' &&
            (word == "R" || word == "u8R" || word == "uR" || word == "UR" || word == "LR")) {
            raw_literal(word.size(), word == "R");
            return;
        }
        if ((quote == '"' || quote == '\'') &&
            (word == "u8" || word == "u" || word == "U" || word == "L")) {
            copy(word.size());
            copy(literal_length(at_));
            return;
        }
        copy(word.size());
    }

    // The length of the quoted literal at start; a literal that a line break cuts ends there.
    std::size_t literal_length(std::size_t start) const {
        const char quote = source_[start];
        std::size_t end = start + 1;
        while (end < source_.size() && source_[end] != quote && source_[end] != '\n') {
            end += source_[end] == '\\' && end + 1 < source_.size() ? 2 : 1;
        }
        return (end < source_.size() && source_[end] == quote ? end + 1 : end) - start;
    }

    // A literal with a character that has no GBK form is kept as written behind a pragma
    // that stops the compiler where the literal is compiled: the text of a disabled #if branch
    // (C++20 parts of a standard header) never is, and GCC refuses only what it compiles.
    void keep_refused(std::size_t length, const NoGbkForm& error) {
        // The message is UTF-8 (the source's literal, a file name from a line marker), whose
        // characters beyond ASCII hold no byte below 0x80: a byte at a time is safe here.
        std::string message;
        for (const char c : std::string_view(error.what())) {
            if (c == '"' || c == '\\') message += "\\\\\\";
            message += c;
        }
        out_ += "_Pragma(\"GCC error \\\"" + message + "\\\"\") ";
        copy(length);
    }

    void ordinary_literal() {
        const std::size_t length = literal_length(at_);
        const std::string_view literal = source_.substr(at_, length);
        const bool closed = length >= 2 && literal.back() == literal.front();
        if (!closed || !needs_escaping(literal)) {
            copy(length);
            return;
        }
        try {
            out_ += escaped_literal(literal);
            at_ += length;
        } catch (const NoGbkForm& error) {
            keep_refused(length, error);
        }
    }

    std::string escaped_literal(std::string_view literal) {
        std::string escaped(1, literal.front());
        const std::string_view body = literal.substr(1, literal.size() - 2);
        for (std::size_t i = 0; i < body.size();) {
            if (const std::size_t run = non_ascii_run(body.substr(i))) {
                append_gbk(escaped, body.substr(i, run), place(line_));
                i += run;
            } else if (body[i] == '\\' && i + 1 < body.size()) {
                i += universal_character(body, i, escaped);
            } else {
                escaped += body[i++];
            }
        }
        escaped += literal.back();
        return escaped;
    }

    static bool needs_escaping(std::string_view literal) {
        for (std::size_t i = 0; i < literal.size(); ++i) {
            if (static_cast<unsigned char>(literal[i]) >= 0x80) return true;
            if (literal[i] == '\\' && i + 1 < literal.size()) {
                if (literal[i + 1] == 'u' || literal[i + 1] == 'U') return true;
                ++i;
            }
        }
        return false;
    }

    // At the backslash of an escape: a universal character name becomes its GBK bytes, any
    // other escape stays as written. Returns the length taken.
    std::size_t universal_character(std::string_view body, std::size_t at, std::string& out) {
        const char kind = body[at + 1];
        const std::size_t digits = kind == 'u' ? 4 : kind == 'U' ? 8 : 0;
        bool well_formed = digits > 0 && at + 2 + digits <= body.size();
        for (std::size_t d = 0; well_formed && d < digits; ++d) {
            well_formed = is_hex_digit(body[at + 2 + d]);
        }
        if (!well_formed) {
            out += body.substr(at, 2);
            return 2;
        }
        const auto code_point = static_cast<std::uint32_t>(
            std::stoul(std::string(body.substr(at + 2, digits)), nullptr, 16));
        if (code_point < 0x80) {
            out += body.substr(at, 2 + digits);  // the compiler's own business
        } else {
            append_gbk(out, utf8_of(code_point), place(line_));
        }
        return 2 + digits;
    }

    void raw_literal(std::size_t prefix_length, bool narrow) {
        const std::size_t quote = at_ + prefix_length;
        const std::size_t open = source_.find('(', quote + 1);
        if (open == std::string_view::npos || open - quote - 1 > kLongestRawDelimiter) {
            copy(prefix_length);
            return;
        }
        const std::string closing =
            ")" + std::string(source_.substr(quote + 1, open - quote - 1)) + "\"";
        const std::size_t close = source_.find(closing, open + 1);
        if (close == std::string_view::npos) {
            copy(prefix_length);
            return;
        }
        const std::size_t end = close + closing.size();
        const std::string_view body = source_.substr(open + 1, close - open - 1);
        if (!narrow || non_ascii_count(body) == 0) {
            copy(end - at_);
            return;
        }
        std::size_t line = line_;
        std::string escaped = "\"";
        for (std::size_t i = 0; i < body.size();) {
            const char c = body[i];
            if (const std::size_t run = non_ascii_run(body.substr(i))) {
                try {
                    append_gbk(escaped, body.substr(i, run), place(line));
                } catch (const NoGbkForm& error) {
                    keep_refused(end - at_, error);
                    return;
                }
                i += run;
                continue;
            }
            if (c == '\n') {
                escaped += "\\n\"\n\"";
                ++line;
            } else if (c == '\\' || c == '"') {
                escaped += '\\';
                escaped += c;
            } else if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                append_octal(escaped, static_cast<unsigned char>(c));
            } else {
                escaped += c;
            }
            ++i;
        }
        escaped += '"';
        out_ += escaped;
        line_ = line;
        at_ = end;
    }

    static std::size_t non_ascii_count(std::string_view text) {
        std::size_t count = 0;
        for (const char c : text) count += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
        return count;
    }

    std::string_view source_;
    std::string file_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::size_t pending_line_ = 0;  // set by a line marker, for the line after it
    std::string pending_file_;
    bool line_start_ = true;
    std::string out_;
};

}  // namespace

std::string escape_literals(std::string_view source, const std::string& file) {
    return Rewriter(source, file).run();
}

}  // namespace gbk_literals
