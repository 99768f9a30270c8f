// A procedure script as the maintainers write them: drop, GO, create, CR LF line ends.
#pragma once

#include <string>

namespace tessary::testing {

inline std::string procedure_script(const std::string& name, const std::string& body = "select 1") {
    return "drop procedure " + name + "\r\ngo\r\ncreate procedure " + name + " as\r\nbegin\r\n" +
           body + "\r\nend\r\n";
}

}  // namespace tessary::testing
