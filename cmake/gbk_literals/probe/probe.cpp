// Prints the bytes of fixed texts, one text a line in hex, so that the output of a GCC build
// (-fexec-charset=GBK) and of a clang build through korvane-gbk-compile can be compared: its
// own hard cases, some of Vortal's messages and Tessary's statements with Chinese in them.
#include "probe.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/statements.h"
#include "messages.h"

namespace {

void print(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        std::printf("%02x", static_cast<unsigned char>(text[i]));
    }
    std::printf("\n");
}

void print(const char* text) {
    print(text, std::strlen(text));
}

// "\x41" followed by a hex letter, a GBK trail byte that reads as "\", a digit after a
// character, a universal character name and a character literal.
constexpr char kAfterEscape[] = "\x41中F乗1\u6587";
constexpr char kRaw[] = R"raw(多行
"原始" \文字
)raw";

}  // namespace

int main() {
    print(kAfterEscape, sizeof kAfterEscape);
    print(kRaw, sizeof kRaw);
    print(PROBE_MACRO_TEXT
          "与"
          "连接");
    print(header_text());
    const int character = '中';
    std::printf("%x\n", static_cast<unsigned>(character));
    std::printf(u8"%s\n", u8"不变");

    print(vortal::msg::kSignatureMismatch);
    print(vortal::msg::kNetworkFailed);
    print(vortal::msg::kAnswerSignatureWrong);
    print(vortal::msg::kLockWaited);
    for (const auto* statements :
         {&tessary::statements::batch_20200117_menus, &tessary::statements::catalogue_200327}) {
        for (std::size_t i = 0; i < statements->size(); ++i) {
            print((*statements)[i].data(), (*statements)[i].size());
        }
    }
    return 0;
}
