#include "json_output.h"

#include <json/writer.h>

#include <memory>

#include "host/host.h"

namespace tessary::cli {

Json::Value json_text(const std::string& gbk) {
    return Json::Value(host::gbk_to_utf8(gbk));
}

Json::Value json_text(const std::optional<std::string>& gbk) {
    return gbk ? json_text(*gbk) : Json::Value(Json::nullValue);
}

void print_json(std::ostream& out, const Json::Value& report) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    writer->write(report, &out);
    out << std::endl;
}

}  // namespace tessary::cli
