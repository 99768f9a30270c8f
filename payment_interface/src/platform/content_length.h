// The body length an HTTP answer announces, read as both HTTP clients of the library read it.
// A peer that sends two different lengths, or one that is not a number, speaks to a reader
// that may take either: such an answer is refused, never read by one of its readings.
#pragma once

#include <cstdint>
#include <string_view>

namespace vortal::platform {

class AnnouncedLength {
  public:
    // One Content-Length header's value, blanks around it ignored.
    void add(std::string_view value);

    bool present() const { return present_; }
    // False when a value was not all decimal digits or two values differ.
    bool valid() const { return valid_; }
    // The length, as large as the type holds when the digits say more.
    std::uint64_t length() const { return length_; }

  private:
    bool present_ = false;
    bool valid_ = true;
    std::uint64_t length_ = 0;
};

}  // namespace vortal::platform
