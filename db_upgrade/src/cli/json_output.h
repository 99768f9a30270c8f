#pragma once

#include <json/value.h>

#include <optional>
#include <ostream>
#include <string>

// The JSON reports of upgrade --json and status --json: texts of the system (GBK) become
// UTF-8, and the report is one line on its stream.

namespace tessary::cli {

Json::Value json_text(const std::string& gbk);
// null when there is no text.
Json::Value json_text(const std::optional<std::string>& gbk);

void print_json(std::ostream& out, const Json::Value& report);

}  // namespace tessary::cli
