// Fixed texts of a header, which the compiler launcher reaches through the rewritten source.
#pragma once

#define PROBE_MACRO_TEXT "宏中的文字"

inline const char* header_text() {
    return "头文件：乗|俓";
}
