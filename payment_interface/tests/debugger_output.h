// Records what the code under test sends to the debugger output while it lives, the texts'
// GBK bytes exactly. On POSIX the library writes them so to stderr when VORTAL_DEBUG=raw; on
// Windows OutputDebugStringA raises the debug-print exception, which a vectored handler of
// this process takes first.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

#if defined(_WIN32)
#include <windows.h>

#include <mutex>
#endif

namespace test_support {

class DebuggerOutput {
  public:
    DebuggerOutput() {
#if defined(_WIN32)
        const std::lock_guard<std::mutex> hold(mutex());
        recorded().clear();
        handler_ = AddVectoredExceptionHandler(1, on_exception);
#else
        set_environment("VORTAL_DEBUG", "raw");
        testing::internal::CaptureStderr();
#endif
    }
    ~DebuggerOutput() {
        take();
    }
    DebuggerOutput(const DebuggerOutput&) = delete;
    DebuggerOutput& operator=(const DebuggerOutput&) = delete;

    // Ends the recording and returns the texts, one after the other.
    std::string take() {
        if (taken_) return std::string();
        taken_ = true;
#if defined(_WIN32)
        RemoveVectoredExceptionHandler(handler_);
        const std::lock_guard<std::mutex> hold(mutex());
        return recorded();
#else
        std::string output = testing::internal::GetCapturedStderr();
        unset_environment("VORTAL_DEBUG");
        return output;
#endif
    }

  private:
#if defined(_WIN32)
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::string& recorded() {
        static std::string instance;
        return instance;
    }
    // The exception's arguments are the text's length with its NUL and its address.
    static LONG CALLBACK on_exception(EXCEPTION_POINTERS* exception) {
        const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
        if (record.ExceptionCode != DBG_PRINTEXCEPTION_C || record.NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto length = static_cast<std::size_t>(record.ExceptionInformation[0]);
        const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        const std::lock_guard<std::mutex> hold(mutex());
        recorded().append(text, length > 0 ? length - 1 : 0);
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    void* handler_ = nullptr;
#endif
    bool taken_ = false;
};

}  // namespace test_support
