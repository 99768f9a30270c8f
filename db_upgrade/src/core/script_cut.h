#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system.h"

// Where wf_get_sql_go cuts a script of the package into its drop statement and its creation
// statement. The script is read a piece at a time, so that a script of any size takes
// little memory to judge; positions are byte offsets into the script.

namespace tessary {

// The clause the creation statement gets, so that the database stores the text encrypted.
inline constexpr std::string_view kEncryptionClause = " with ENCRYPTION ";

struct ScriptCut {
    // What was found, as wf_get_sql_go looks for it: "create " within the first 200 bytes
    // of the script trimmed of blanks; "begin" after it, with "as" before that (the header);
    // a line break followed by "go" ending the drop statement before "create ".
    bool create = false;
    bool header = false;
    bool drop = false;

    std::uint64_t start = 0;  // the trimmed script is [start, end)
    std::uint64_t end = 0;
    std::uint64_t create_at = 0;
    // Where the clause goes: before the header's last "for" (trigger headers name their
    // events after it), else before its last "as".
    std::uint64_t clause_at = 0;
    std::uint64_t drop_end = 0;

    bool splits() const { return create && header && drop; }
};

// Reads `script` to cut it; nullopt when it cannot be read (script.error() says why).
std::optional<ScriptCut> cut_script(FileReader& script);

// The statements of a script whose cut found "create " and the header: the drop statement
// (empty when the cut found none) and the creation statement with the clause. nullopt when
// the script cannot be read.
struct ScriptStatements {
    std::string drop;
    std::string create;
};
std::optional<ScriptStatements> script_statements(FileReader& script, const ScriptCut& cut);

}  // namespace tessary
