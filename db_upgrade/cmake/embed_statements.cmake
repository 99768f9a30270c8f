# Turns one statement file of db_upgrade/data into a C++ source with one raw string literal
# per statement. The source is compiled with GBK string literals, so the compiler converts
# the UTF-8 text of the file into the GBK bytes the database receives.
#
#   cmake -DINPUT=<file.sql> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed_statements.cmake
#
# A statement is the text up to a line that holds exactly "GO"; see data/README.md.

foreach(required INPUT OUTPUT SYMBOL)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_statements: ${required} is not set")
  endif()
endforeach()

file(READ "${INPUT}" text)
get_filename_component(file_name "${INPUT}" NAME)

string(FIND "${text}" "\r" carriage_return)
if(NOT carriage_return EQUAL -1)
  message(FATAL_ERROR "${file_name}: carriage return found; the statement files keep LF line ends")
endif()

set(delimiter "tessary_sql")
set(literals "")
set(count 0)
set(rest "${text}")
while(NOT rest STREQUAL "")
  string(FIND "${rest}" "\nGO\n" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${file_name}: the text after statement ${count} does not end with a line GO")
  endif()
  string(SUBSTRING "${rest}" 0 ${end} statement)
  math(EXPR next "${end} + 4")
  string(SUBSTRING "${rest}" ${next} -1 rest)
  math(EXPR count "${count} + 1")
  if(statement STREQUAL "" OR statement MATCHES "^GO\n" OR statement STREQUAL "GO")
    message(FATAL_ERROR "${file_name}: statement ${count} is empty")
  endif()
  string(FIND "${statement}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file_name}: statement ${count} contains the literal delimiter")
  endif()
  string(APPEND literals "    R\"${delimiter}(${statement})${delimiter}\",\n")
endwhile()

if(count EQUAL 0)
  message(FATAL_ERROR "${file_name}: no statements")
endif()

file(WRITE "${OUTPUT}.tmp"
"// Generated from db_upgrade/data/${file_name} by embed_statements.cmake: edit the data file.
#include \"core/statements.h\"

namespace tessary::statements {
namespace {
constexpr std::string_view kStatements[] = {
${literals}};
}  // namespace

const StatementList ${SYMBOL}{kStatements, sizeof kStatements / sizeof kStatements[0]};

}  // namespace tessary::statements
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
