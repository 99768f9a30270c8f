#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the connection takes from the registry values DATABASE and SERVERNAME must reach the
// database client whole, on every system alike. An ODBC connection string ends a value at
// ";", a braced one at its first byte "}" (unixODBC and FreeTDS know no escape for it, and
// read bytes: the second byte of a GBK character such as 倉, 82 7D, ends it too), and a
// control character has no place in it; a value holding one of them could add attributes
// of its own (another login, another port).

namespace tessary {

// Whether a connection string must carry `value` in braces: it holds the character ";",
// "{", "}" or "=", or starts or ends with a blank.
bool connection_value_needs_braces(std::string_view value);

// What keeps `value` from reaching the client whole, in words (GBK) that show the value and
// the character at fault, or nullopt.
std::optional<std::string> connection_value_fault(std::string_view value);

// What is wrong with the port of a server name "host,port" or "host\instance,port", in
// words (GBK): it must be a number from 1 to 65535, blanks around it allowed. nullopt when
// the port is right or the name gives none.
std::optional<std::string> server_port_fault(std::string_view server_name);

}  // namespace tessary
