#include "stand_in.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace box_service {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void put_text(unsigned char* record, std::size_t size, std::size_t offset, std::size_t slot_size,
              const std::string& text) {
    if (offset + slot_size > size) return;
    const std::size_t length = text.size() < slot_size ? text.size() : slot_size - 1;
    std::memcpy(record + offset, text.data(), length);
}

}  // namespace

void remove_objects() {
    shm_unlink(kRecordName);
    sem_unlink(kUploadEventName);
}

StandIn::StandIn(const Setup& setup) : record_size_(setup.record_size) {
    remove_objects();
    const int section = shm_open(kRecordName, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (section < 0) fail("shm_open");
    if (ftruncate(section, static_cast<off_t>(record_size_)) != 0) {
        close(section);
        shm_unlink(kRecordName);
        fail("ftruncate");
    }
    void* view = mmap(nullptr, record_size_, PROT_READ | PROT_WRITE, MAP_SHARED, section, 0);
    close(section);
    if (view == MAP_FAILED) {
        shm_unlink(kRecordName);
        fail("mmap");
    }
    record_ = static_cast<unsigned char*>(view);
    put_text(record_, record_size_, kMachineNoOffset, kSlotSize, setup.machine_no);
    put_text(record_, record_size_, kKeyOffset, kKeySlotSize, setup.key);

    if (setup.with_event) {
        event_ = sem_open(kUploadEventName, O_CREAT | O_EXCL, 0600, 0);
        if (event_ == SEM_FAILED) {
            munmap(record_, record_size_);
            shm_unlink(kRecordName);
            fail("sem_open");
        }
    }
}

StandIn::~StandIn() {
    munmap(record_, record_size_);
    shm_unlink(kRecordName);
    if (event_ != SEM_FAILED) {
        sem_close(event_);
        sem_unlink(kUploadEventName);
    }
}

std::string StandIn::slot(std::size_t offset, std::size_t size) const {
    if (offset + size > record_size_) return std::string();
    const char* text = reinterpret_cast<const char*>(record_ + offset);
    return std::string(text, strnlen(text, size));
}

UploadedOrder StandIn::order() const {
    return UploadedOrder{slot(kOrderNoOffset, kSlotSize), slot(kAmountOffset, kSlotSize)};
}

bool StandIn::wait_for_upload() {
    return event_ != SEM_FAILED && sem_wait(event_) == 0;
}

int StandIn::pending_uploads() const {
    int value = 0;
    if (event_ == SEM_FAILED || sem_getvalue(event_, &value) != 0) return 0;
    return value;
}

void StandIn::wake() const {
    if (event_ != SEM_FAILED) sem_post(event_);
}

}  // namespace box_service
