#include "cli/result_meaning.h"

namespace {

// The service's words (GBK) that tell how far a request got.
struct Refusal {
    const char* words;
    const char* meaning;
};
constexpr Refusal kRefusals[] = {
    {"订单不存在",
     u8"the service looked the order up and has none of that id: network, agent number and key "
     u8"all work"},
    {"签名错误", u8"the service refused the request's signature: the key is wrong for the agent"},
    {"商户不存在", u8"the service does not know the agent number"},
};

struct Code {
    const char* code;
    const char* meaning;
};
constexpr Code kCodes[] = {
    {"00", u8"success"},
    {"01", u8"bad input or settings: nothing was sent (vortal-cli settings names what to fix)"},
    {"02",
     u8"no answer from the payment service: check 域名, 协议, 端口, 代理 and the network (with "
     u8"https also the certificate and TLS)"},
    {"03",
     u8"an answer the library does not believe: its signature or its order is not the "
     u8"service's for this request (a wrong key gets 04 签名错误 instead)"},
    {"04",
     u8"refused by the service, in its words above, or the customer did not pay in time; "
     u8"network and key work only where it says 订单不存在"},
    {"05", u8"the answer carries no order data"},
    {"06", u8"the order's status is none the library knows"},
    {"",
     u8"no result: the operation ended before it had one (for Z5 and Z6 the daily log says "
     u8"why)"},
};

}  // namespace

const char* result_meaning(std::string_view code, std::string_view message) {
    if (code == "04") {
        for (const Refusal& refusal : kRefusals) {
            if (message.find(refusal.words) != std::string_view::npos) return refusal.meaning;
        }
    }
    for (const Code& known : kCodes) {
        if (code == known.code) return known.meaning;
    }
    return "";
}
