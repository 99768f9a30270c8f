// Loads the payment library the way the point-of-sale program does (LoadLibrary on Windows,
// dlopen elsewhere) and finds its export; for the tools and the tests.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

#include "vortal.h"

#if defined(_WIN32)
inline constexpr char kVortalLibraryFile[] = "Vortal.dll";
#else
inline constexpr char kVortalLibraryFile[] = "libvortal.so";
#endif

// The loaded library; unloaded when it goes. transact() is null when loading failed, and
// error() says why.
class VortalLibrary {
  public:
    using Transact = TransResult*(VORTAL_CALL*)(const char*);

    explicit VortalLibrary(const std::string& path) {
#if defined(_WIN32)
        handle_ = LoadLibraryA(path.c_str());
        if (handle_ == nullptr) {
            error_ = "cannot load " + path + ": error " + std::to_string(GetLastError());
            return;
        }
        transact_ = reinterpret_cast<Transact>(
            reinterpret_cast<void*>(GetProcAddress(handle_, "Z_ALITrans")));
        if (transact_ == nullptr) error_ = path + " does not export Z_ALITrans";
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            error_ = dlerror();
            return;
        }
        transact_ = reinterpret_cast<Transact>(dlsym(handle_, "Z_ALITrans"));
        if (transact_ == nullptr) error_ = dlerror();
#endif
    }
    ~VortalLibrary() {
        if (handle_ == nullptr) return;
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    VortalLibrary(const VortalLibrary&) = delete;
    VortalLibrary& operator=(const VortalLibrary&) = delete;

    Transact transact() const {
        return transact_;
    }
    const std::string& error() const {
        return error_;
    }

  private:
#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
    Transact transact_ = nullptr;
    std::string error_;
};
