#include "stand_in.h"

#include <cstring>

namespace box_service {

namespace {

void put_text(unsigned char* record, std::size_t size, std::size_t offset, std::size_t slot_size,
              const std::string& text) {
    if (offset + slot_size > size) return;
    const std::size_t length = text.size() < slot_size ? text.size() : slot_size - 1;
    std::memcpy(record + offset, text.data(), length);
}

}  // namespace

void StandIn::put_identity(const Setup& setup) {
    put_text(record_, record_size_, kMachineNoOffset, kSlotSize, setup.machine_no);
    put_text(record_, record_size_, kKeyOffset, kKeySlotSize, setup.key);
}

std::string StandIn::slot(std::size_t offset, std::size_t size) const {
    if (offset + size > record_size_) return std::string();
    const char* text = reinterpret_cast<const char*>(record_ + offset);
    return std::string(text, strnlen(text, size));
}

UploadedOrder StandIn::order() const {
    return UploadedOrder{slot(kOrderNoOffset, kSlotSize), slot(kAmountOffset, kSlotSize)};
}

}  // namespace box_service
