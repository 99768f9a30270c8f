#include "script_cut.h"

#include <algorithm>

#include "files.h"
#include "text.h"

namespace tessary {
namespace {

// The bytes of the trimmed script in which "create " must lie wholly.
constexpr std::size_t kCreateWithin = 200;

// Finds a word in bytes that come one at a time. The words looked for repeat no beginning of
// theirs at their end, so a byte that breaks a match can only start a new one.
class WordMatch {
  public:
    explicit WordMatch(std::string_view word) : word_(word) {}
    // Whether `c` completes the word.
    bool take(char c) {
        matched_ = c == word_[matched_] ? matched_ + 1 : c == word_[0] ? 1 : 0;
        if (matched_ < word_.size()) return false;
        matched_ = 0;
        return true;
    }
    std::size_t size() const { return word_.size(); }

  private:
    std::string_view word_;
    std::size_t matched_ = 0;
};

// The trimmed script's bounds; false when it cannot be read. An all-blank script has start
// and end at its size.
bool find_bounds(FileReader& script, ScriptCut& cut) {
    const std::uint64_t size = script.size();
    cut.start = cut.end = size;
    const bool read =
        files::for_each_piece(script, 0, size, [&](std::string_view piece, std::uint64_t at) {
            const auto first = piece.find_first_not_of(' ');
            if (first == std::string_view::npos) return true;
            cut.start = at + first;
            return false;
        });
    if (!read) return false;
    std::string piece;
    for (std::uint64_t back = size; back > cut.start;) {
        const std::uint64_t count = std::min<std::uint64_t>(files::kPiece, back - cut.start);
        piece.clear();
        if (!files::append_bytes(script, back - count, count, piece)) return false;
        const auto last = piece.find_last_not_of(' ');
        if (last != std::string::npos) {
            cut.end = back - count + last + 1;
            break;
        }
        back -= count;
    }
    return true;
}

// Reads the header from "create " to the first "begin" (whose search lowers the text from
// "create " on, as wf_get_sql_go does) and takes the last "as" and "for" before it.
bool find_header(FileReader& script, ScriptCut& cut) {
    text::Lowering lowering;
    WordMatch begin("begin"), as("as"), word_for("for");
    std::optional<std::uint64_t> last_as, last_for;
    return files::for_each_piece(
        script, cut.create_at, cut.end, [&](std::string_view piece, std::uint64_t at) {
            for (std::size_t i = 0; i < piece.size(); ++i) {
                const char c = lowering(piece[i]);
                const std::uint64_t after = at + i + 1;
                if (as.take(c)) last_as = after - as.size();
                if (word_for.take(c)) last_for = after - word_for.size();
                if (begin.take(c)) {
                    cut.header = last_as.has_value();
                    cut.clause_at = last_for ? *last_for : last_as.value_or(0);
                    return false;
                }
            }
            return true;
        });
}

}  // namespace

std::optional<ScriptCut> cut_script(FileReader& script) {
    ScriptCut cut;
    if (!find_bounds(script, cut)) return std::nullopt;

    std::string first;
    if (!files::append_bytes(script, cut.start,
                             std::min<std::uint64_t>(kCreateWithin, cut.end - cut.start), first)) {
        return std::nullopt;
    }
    const std::string lowered = text::lower(first);
    const std::size_t create = lowered.find("create ");
    if (create == std::string::npos) return cut;
    cut.create = true;
    cut.create_at = cut.start + create;

    // The drop statement ends at the first line break followed by "go" before "create ".
    const std::size_t drop_length = lowered.substr(0, create).find("\r\ngo");
    cut.drop = drop_length != std::string::npos && drop_length >= 1;
    if (cut.drop) cut.drop_end = cut.start + drop_length;

    if (!find_header(script, cut)) return std::nullopt;
    return cut;
}

std::optional<ScriptStatements> script_statements(FileReader& script, const ScriptCut& cut) {
    ScriptStatements statements;
    if (cut.drop &&
        !files::append_bytes(script, cut.start, cut.drop_end - cut.start, statements.drop)) {
        return std::nullopt;
    }
    std::string& create = statements.create;
    create.reserve(static_cast<std::size_t>(cut.end - cut.create_at) + kEncryptionClause.size());
    if (!files::append_bytes(script, cut.create_at, cut.clause_at - cut.create_at, create)) {
        return std::nullopt;
    }
    create += kEncryptionClause;
    if (!files::append_bytes(script, cut.clause_at, cut.end - cut.clause_at, create)) {
        return std::nullopt;
    }
    return statements;
}

}  // namespace tessary
