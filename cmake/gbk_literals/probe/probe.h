// Fixed texts of a header, which the compiler launcher reaches through the rewritten source.
#pragma once

#define PROBE_MACRO_TEXT "宏中的文字"

inline const char* header_text() {
    return "头文件：乗|俓";
}

// Like the C++20 parts of <chrono> under C++17: a text with no GBK form in a branch the
// compiler skips must not stop the build.
#if __cplusplus > 201703L
inline const char* skipped_text() {
    return "µs";
}
#endif
