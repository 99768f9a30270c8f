// The two ways the program cuts script texts, on any bytes. Beyond the sanitizers:
// - the GO splitter sends every line that is not a GO line, in order, in exactly one batch,
//   and no GO line; a blank tail after the last GO line is the only text left out;
// - the procedure-text check, when it takes a text, gives a drop statement that is a
//   beginning of the trimmed text ending before "create ", and a creation statement that is
//   the text from "create " on with " with ENCRYPTION " inserted once, before "begin".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/files.h"
#include "core/text.h"
#include "core/window.h"
#include "fuzz_check.h"

using namespace tessary;

namespace {

constexpr std::string_view kEncryption = " with ENCRYPTION ";

bool is_go_line(const std::string& line) {
    return text::upper(line) == "GO";
}

void check_go_splitter(const std::string& script) {
    const std::vector<std::string> lines = files::split_lines(script);
    const std::vector<std::string> batches = script_batches(lines);

    std::string sent;
    for (const std::string& batch : batches) sent += batch;
    std::string expected;
    std::string tail;
    std::size_t go_lines = 0;
    for (const std::string& line : lines) {
        if (is_go_line(line)) {
            ++go_lines;
            expected += tail;
            tail.clear();
        } else {
            tail += '\n' + line;
        }
    }
    korvane_require(batches.size() == go_lines || batches.size() == go_lines + 1,
                    "a GO line ends one batch, and a tail makes at most one more");
    if (batches.size() == go_lines) {
        korvane_require(text::is_blank(tail), "only a blank tail is left out");
    } else {
        expected += tail;
    }
    korvane_require(sent == expected, "every other line reaches one batch, in order");
}

void check_procedure_text(const std::string& script) {
    std::string create = script;
    std::string drop;
    if (!wf_get_sql_go(create, drop)) return;
    const std::string_view source = text::trim_blanks(script);
    const std::size_t create_at = text::lower(source.substr(0, 200)).find("create ");
    korvane_require(create_at != std::string::npos, "a text taken has \"create \"");
    korvane_require(
        !drop.empty() && drop.size() < create_at && source.substr(0, drop.size()) == drop,
        "the drop statement begins the text and ends before \"create \"");

    const std::string_view from_create = source.substr(create_at);
    std::size_t same = 0;
    while (same < create.size() && same < from_create.size() && create[same] == from_create[same]) {
        ++same;
    }
    // The inserted text may begin with bytes that also follow it; look for it from the
    // first difference back.
    bool inserted = false;
    for (std::size_t at = same + 1; at-- > 0 && !inserted;) {
        inserted = create.compare(at, kEncryption.size(), kEncryption) == 0 &&
                   create.substr(0, at) == from_create.substr(0, at) &&
                   create.substr(at + kEncryption.size()) == from_create.substr(at);
        if (inserted) {
            korvane_require(
                text::lower(from_create.substr(0, at)).find("begin") == std::string::npos,
                "the insertion comes before \"begin\"");
        }
    }
    korvane_require(inserted,
                    "the creation statement is the text from \"create \" on, "
                    "with \" with ENCRYPTION \" inserted once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    check_go_splitter(script);
    check_procedure_text(script);
    return 0;
}
