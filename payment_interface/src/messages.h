// The library's fixed texts: the result messages and what goes to the debugger output. Each
// is defined in messages.cpp, which is compiled with GBK string literals, or below as a
// format; every text here is GBK bytes. The receipt's lines, the daily log's entries and the
// INI keys stand with the code that writes or reads them.
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
extern const char kOrderRefunded[];   // a scan-pay whose order reads refunded
extern const char kPaymentUnknown[];  // a scan-pay whose last query brought no status
extern const char kRefundSucceeded[];
extern const char kRefundNotYetShown[];  // a refund accepted whose order does not read refunded
extern const char kNotRecorded[];        // the journal did not take the operation's "sent" line

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
extern const char kHttpBadLength[];

// Formats, defined here so that the compiler checks their arguments.
// A field of the request text that its record cannot hold whole: its name, and the most
// bytes the record holds.
inline constexpr char kFieldTooLong[] = "传入参数错误：%s超过%u字节";
inline constexpr char kFieldCutChar[] = "传入参数错误：%s末尾的汉字不完整";
inline constexpr char kQueried[] = "%s|查询订单详情成功";           // the order's status
inline constexpr char kRefundErrorCode[] = "退款异常，错误码：%s";  // the service's errorCode
inline constexpr char kLockWaited[] = "Z_ALITrans:等待库锁%u毫秒\n";
inline constexpr char kLockNotTaken[] = "Z_ALITrans:等待库锁超过%u毫秒，请求未发送\n";
inline constexpr char kJournalNotWritten[] = "Z_ALITrans:支付流水无法写入%s\n";  // the file
// The journal's folder, when an operation is not sent for want of its "sent" line.
inline constexpr char kJournalFolderNotWritable[] =
    "Z_ALITrans:支付流水无法写入文件夹%s，交易未发送\n";
inline constexpr char kRequestIdsNotKept[] =
    "Z_ALITrans:订单号文件%s无法写入，订单号只在本进程内不重复\n";  // the file
inline constexpr char kQrEncode[] = "[DLL]:Qr Encode %s\n";  // the signed text of the payload
inline constexpr char kQrEncodeTime[] = "加密二维码信息串 时间[%d]\n";  // milliseconds taken
// Why the configuration file gives an operation nothing it can use; each with the file's path.
inline constexpr char kConfigNotFound[] = "Z_ALITrans:配置文件%s不存在\n";
inline constexpr char kConfigLooksUtf8[] =
    "Z_ALITrans:配置文件%s似为UTF-8编码，请另存为ANSI(GBK)编码\n";
inline constexpr char kSettingEmpty[] = "Z_ALITrans:配置文件%s中[%s]%s为空\n";  // section, key
inline constexpr char kProtocolInvalid[] =
    "Z_ALITrans:配置文件%s中[服务器信息]协议=%s不是http或https，请求未发送\n";  // the value
// Why an HTTPS exchange failed, in the HTTP client's words (curl's text, the WinINet error).
inline constexpr char kHttpsFailed[] = "HTTPS失败:%s";
// An exchange given up at its limit, in milliseconds.
inline constexpr char kHttpTimedOut[] = "HTTP请求超时:%u毫秒内未完成";

// The formats above are GBK only where this header is compiled with GBK string literals.
static_assert(sizeof("中") == 3, "messages.h needs GBK string literals (korvane_gbk_literals)");

}  // namespace vortal::msg
