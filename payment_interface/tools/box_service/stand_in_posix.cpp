#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "stand_in.h"

namespace box_service {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

sem_t* as_semaphore(void* event) {
    return static_cast<sem_t*>(event);
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
    put_identity(setup);

    if (setup.with_event) {
        sem_t* event = sem_open(kUploadEventName, O_CREAT | O_EXCL, 0600, 0);
        if (event == SEM_FAILED) {
            munmap(record_, record_size_);
            shm_unlink(kRecordName);
            fail("sem_open");
        }
        event_ = event;
    }
}

StandIn::~StandIn() {
    munmap(record_, record_size_);
    shm_unlink(kRecordName);
    if (event_ != nullptr) {
        sem_close(as_semaphore(event_));
        sem_unlink(kUploadEventName);
    }
}

bool StandIn::wait_for_upload() {
    return event_ != nullptr && sem_wait(as_semaphore(event_)) == 0;
}

int StandIn::pending_uploads() const {
    int value = 0;
    if (event_ == nullptr || sem_getvalue(as_semaphore(event_), &value) != 0) return 0;
    return value;
}

void StandIn::wake() const {
    if (event_ != nullptr) sem_post(as_semaphore(event_));
}

}  // namespace box_service
