// The box service's side of the shared record and the upload event, for development, the
// tests and the demonstration: it creates the record and the event that the library opens
// (the file mapping "Global\Z_Map" and the event "Global\EVENT_Upload" on Windows, the
// shared-memory object "/Z_Map" and the named semaphore "/EVENT_Upload" on POSIX), puts the
// machine number and the key into the record, and takes the library's upload signals. Both
// objects go when it goes.
#pragma once

#include <cstddef>
#include <string>

namespace box_service {

#if defined(_WIN32)
inline constexpr char kRecordName[] = "Global\\Z_Map";
inline constexpr char kUploadEventName[] = "Global\\EVENT_Upload";
#else
inline constexpr char kRecordName[] = "/Z_Map";
inline constexpr char kUploadEventName[] = "/EVENT_Upload";
#endif

inline constexpr std::size_t kRecordSize = 356;
inline constexpr std::size_t kOrderNoOffset = 0;
inline constexpr std::size_t kAmountOffset = 48;
inline constexpr std::size_t kMachineNoOffset = 96;
inline constexpr std::size_t kKeyOffset = 144;
inline constexpr std::size_t kSlotSize = 48;
inline constexpr std::size_t kKeySlotSize = 128;

struct Setup {
    std::string machine_no;
    std::string key;
    std::size_t record_size = kRecordSize;
    bool with_event = true;
};

struct UploadedOrder {
    std::string order_no;
    std::string amount;
};

// Removes objects of both names that a stopped box service may have left (on Windows they go
// with the last process that holds them).
void remove_objects();

class StandIn {
  public:
    // Replaces objects of the same names left from before; throws std::runtime_error when an
    // object cannot be created.
    explicit StandIn(const Setup& setup);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    unsigned char* record() const { return record_; }
    std::size_t record_size() const { return record_size_; }
    // The text of a slot up to its first NUL.
    std::string slot(std::size_t offset, std::size_t size) const;
    UploadedOrder order() const;

    // Blocks until the event is set; false when interrupted by a signal.
    bool wait_for_upload();
    // The signals not yet taken; a Windows event holds at most one.
    int pending_uploads() const;
    // Sets the event from a signal handler, to wake wait_for_upload.
    void wake() const;

  private:
    void put_identity(const Setup& setup);

    unsigned char* record_ = nullptr;
    std::size_t record_size_ = 0;
    void* section_ = nullptr;  // the file mapping on Windows
    void* event_ = nullptr;    // the event on Windows, the semaphore (sem_t) on POSIX
};

}  // namespace box_service
