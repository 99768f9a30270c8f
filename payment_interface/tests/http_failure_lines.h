// The debugger lines of a failed HTTP exchange, as GBK bytes: the same on every platform.
#pragma once

namespace test_support {

// HTTP_STATUS_OK失败, HttpSendRequest请求失败
inline constexpr char kStatusNotOkLine[] = "HTTP_STATUS_OK\xca\xa7\xb0\xdc";
inline constexpr char kSendFailedLine[] = "HttpSendRequest\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc";
// InternetReadFile失败:应答超出缓冲区, InternetReadFile失败:应答在结束前中断
inline constexpr char kBodyTooLongLine[] =
    "InternetReadFile\xca\xa7\xb0\xdc:\xd3\xa6\xb4\xf0\xb3\xac\xb3\xf6\xbb\xba\xb3\xe5\xc7\xf8";
inline constexpr char kBodyCutShortLine[] =
    "InternetReadFile\xca\xa7\xb0\xdc:"
    "\xd3\xa6\xb4\xf0\xd4\xda\xbd\xe1\xca\xf8\xc7\xb0\xd6\xd0\xb6\xcf";
// InternetReadFile失败:应答长度(Content-Length)矛盾或无效
inline constexpr char kBadLengthLine[] =
    "InternetReadFile\xca\xa7\xb0\xdc:\xd3\xa6\xb4\xf0\xb3\xa4\xb6\xc8(Content-Length)"
    "\xc3\xac\xb6\xdc\xbb\xf2\xce\xde\xd0\xa7";
// HTTP请求超时:30000毫秒内未完成, an exchange given up at its whole limit
inline constexpr char kTimedOutLine[] =
    "HTTP\xc7\xeb\xc7\xf3\xb3\xac\xca\xb1:30000\xba\xc1\xc3\xeb\xc4\xda\xce\xb4\xcd\xea\xb3\xc9";
// HTTPS失败:, before the cause of a failed HTTPS exchange
inline constexpr char kHttpsFailedPrefix[] = "HTTPS\xca\xa7\xb0\xdc:";

}  // namespace test_support
