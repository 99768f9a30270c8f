// Characters that stores type whose GBK trail byte is "|", "\" or "}", their bytes as iconv
// gives them: 東 億 瑋 墊 縷, 淺 運 嘰, 倉 聖 脈.
#pragma once

namespace test_support {

inline constexpr const char* kTrailByteCharacters[] = {
    "\x96\x7c", "\x83\x7c", "\xac\x7c", "\x89\x7c", "\xbf\x7c", "\x9c\x5c",
    "\xdf\x5c", "\x87\x5c", "\x82\x7d", "\xc2\x7d", "\xc3\x7d",
};

}  // namespace test_support
