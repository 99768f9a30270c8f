#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Which names a file can have on Windows, where the stores run: the rule for the names of
// scripts that go into a package or come out of one, on every system alike.

namespace tessary::files {

// What keeps Windows from holding `name` (GBK) as the name of a file in a folder, in words
// (GBK), or nullopt when it can: a name that is empty, holds a control character or one of
// < > : " / \ | ? *, is a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$,
// CONOUT$; in any letter case, with any extension and blanks before the extension, as
// Windows reads them), ends in a dot or a blank (which Windows drops), or is longer than a
// name may be once the temporary suffix of System::replace_file is added (255 characters).
std::optional<std::string> windows_name_problem(std::string_view name);

// The first two of `names` that Windows takes for the name of one file, as they are spelt in
// `names`: the same but for the letter case of letters that GBK holds in both cases (ASCII,
// and the Roman numerals, full-width Latin, Greek and Cyrillic letters of GB2312); nullopt
// when there are none.
std::optional<std::pair<std::string, std::string>> same_file_on_windows(
    const std::vector<std::string>& names);

}  // namespace tessary::files
