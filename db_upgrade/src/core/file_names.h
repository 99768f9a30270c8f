#pragma once

#include <optional>
#include <string>
#include <string_view>

// Which names a file can have on Windows, where the stores run: the rule for the names of
// scripts that go into a package or come out of one, on every system alike.

namespace tessary::files {

// What keeps Windows from holding `name` (GBK) as the name of a file in a folder, in words
// (GBK), or nullopt when it can: a name that is empty, holds a control character or one of
// < > : " / \ | ? *, is a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$,
// CONOUT$; in any letter case, with any extension and blanks before the extension, as
// Windows reads them), or ends in a dot or a blank (which Windows drops).
std::optional<std::string> windows_name_problem(std::string_view name);

}  // namespace tessary::files
