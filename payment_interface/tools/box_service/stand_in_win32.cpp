#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "stand_in.h"

namespace box_service {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": error " + std::to_string(GetLastError()));
}

}  // namespace

void remove_objects() {}

// Objects that already exist belong to a running box service: a second one is refused, as
// the POSIX stand-in refuses by its exclusive creation.
StandIn::StandIn(const Setup& setup) : record_size_(setup.record_size) {
    HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(record_size_), kRecordName);
    if (section == nullptr) fail("CreateFileMapping");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(section);
        throw std::runtime_error(std::string(kRecordName) + " exists: a box service is running");
    }
    void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, record_size_);
    if (view == nullptr) {
        CloseHandle(section);
        fail("MapViewOfFile");
    }
    section_ = section;
    record_ = static_cast<unsigned char*>(view);
    put_identity(setup);

    if (setup.with_event) {
        // Auto-reset: each wait takes one signal, as the box service's own event does.
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, kUploadEventName);
        if (event == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
            if (event != nullptr) CloseHandle(event);
            UnmapViewOfFile(record_);
            CloseHandle(section_);
            fail("CreateEvent");
        }
        event_ = event;
    }
}

StandIn::~StandIn() {
    UnmapViewOfFile(record_);
    CloseHandle(section_);
    if (event_ != nullptr) CloseHandle(event_);
}

bool StandIn::wait_for_upload() {
    return event_ != nullptr && WaitForSingleObject(event_, INFINITE) == WAIT_OBJECT_0;
}

int StandIn::pending_uploads() const {
    if (event_ == nullptr || WaitForSingleObject(event_, 0) != WAIT_OBJECT_0) return 0;
    SetEvent(event_);  // looking took the signal: give it back
    return 1;
}

void StandIn::wake() const {
    if (event_ != nullptr) SetEvent(event_);
}

}  // namespace box_service
