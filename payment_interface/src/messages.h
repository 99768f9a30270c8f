// The library's fixed texts. They are defined in messages.cpp, which is compiled with GBK
// string literals, so every text here is GBK bytes.
#pragma once

namespace vortal::msg {

// Result messages
extern const char kBadInput[];         // unrecognised operation or unreadable input
extern const char kRequestNotBuilt[];  // a required value is empty
extern const char kNetworkFailed[];
extern const char kSignatureMismatch[];
extern const char kNoData[];
extern const char kUnknownStatus[];
extern const char kScanPaySucceeded[];
extern const char kCustomerDidNotPay[];
extern const char kRefundSucceeded[];

// Debugger output
extern const char kModuleNotFound[];
extern const char kAnswerSignatureWrong[];
extern const char kCreateOrderSent[];
extern const char kCreateOrderRefused[];
extern const char kInternalError[];
extern const char kHttpOpenFailed[];
extern const char kHttpConnectFailed[];
extern const char kHttpOpenRequestFailed[];
extern const char kHttpSendFailed[];
extern const char kHttpQueryInfoFailed[];
extern const char kHttpStatusNotOk[];
extern const char kHttpReadFailed[];
extern const char kHttpBodyTooLong[];
extern const char kHttpBodyCutShort[];

// Formats, here so that their arguments are checked; this header is only compiled with GBK
// string literals.
inline constexpr char kLockWaited[] = "Z_ALITrans:等待库锁%u毫秒\n";

}  // namespace vortal::msg
