#include "request_ids.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "log.h"
#include "messages.h"
#include "records.h"

namespace vortal {

namespace {

constexpr std::size_t kLongestText = 64;
constexpr std::size_t kStampLength = 14;  // YYYYMMDDhhmmss
constexpr std::int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to a date of the Gregorian calendar, and back.
std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

platform::LocalTime civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    platform::LocalTime t{};
    t.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    t.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    t.year = static_cast<int>(year_of_era + era * 400 + (t.month <= 2));
    return t;
}

std::int64_t seconds_of(const platform::LocalTime& t) {
    return days_from_civil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 +
           t.minute * 60 + t.second;
}

platform::LocalTime time_of(std::int64_t seconds) {
    platform::LocalTime t = civil_from_days(seconds / kSecondsPerDay);
    const auto in_day = static_cast<int>(seconds % kSecondsPerDay);
    t.hour = in_day / 3600;
    t.minute = in_day / 60 % 60;
    t.second = in_day % 60;
    return t;
}

void advance_scan_pay(TakenIds& taken, std::int64_t now) {
    taken.scan_pay_second = std::max(now, taken.scan_pay_second + 1);
}

void advance_order(TakenIds& taken, std::int64_t now) {
    if (now / 60 > taken.order_second / 60) {
        taken.order_second = now;
        taken.order_counter = 1;
        return;
    }
    taken.order_second = std::max(now, taken.order_second);
    ++taken.order_counter;
}

// The later of two records of what was taken; the counters of one minute are both used up.
TakenIds later(const TakenIds& a, const TakenIds& b) {
    TakenIds merged{std::max(a.scan_pay_second, b.scan_pay_second), 0, 0};
    if (a.order_second / 60 != b.order_second / 60) {
        const TakenIds& last = a.order_second > b.order_second ? a : b;
        merged.order_second = last.order_second;
        merged.order_counter = last.order_counter;
    } else {
        merged.order_second = std::max(a.order_second, b.order_second);
        merged.order_counter = std::max(a.order_counter, b.order_counter);
    }
    return merged;
}

// "YYYYMMDDhhmmss" as seconds; 0 for none, and for what is no such time.
std::int64_t seconds_of_stamp(std::uint64_t stamp) {
    if (stamp == 0) return 0;
    platform::LocalTime t{};
    for (int* part : {&t.second, &t.minute, &t.hour, &t.day, &t.month}) {
        *part = static_cast<int>(stamp % 100);
        stamp /= 100;
    }
    if (stamp < 1970 || stamp > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour > 23 || t.minute > 59 || t.second > 59) {
        return 0;
    }
    t.year = static_cast<int>(stamp);
    return seconds_of(t);
}

std::string stamp_text(std::int64_t seconds) {
    if (seconds == 0) return "0";
    const platform::LocalTime t = time_of(seconds);
    char text[24];
    format_bounded(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                   t.minute, t.second);
    return text;
}

// A text that is not such a line (a file cut short, or written by hand) reads as nothing taken.
TakenIds parse(std::string_view text) {
    std::uint64_t values[3] = {};
    std::size_t index = 0;
    std::size_t digits = 0;
    for (const char c : text.substr(0, text.find('\r'))) {
        if (c >= '0' && c <= '9' && digits < kStampLength) {
            values[index] = values[index] * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
        } else if (c == '\t' && digits > 0 && index < 2) {
            ++index;
            digits = 0;
        } else {
            return TakenIds{};
        }
    }
    if (index != 2 || digits == 0 || values[2] > UINT32_MAX) return TakenIds{};
    return TakenIds{seconds_of_stamp(values[0]), seconds_of_stamp(values[1]),
                    static_cast<std::uint32_t>(values[2])};
}

std::string text_of(const TakenIds& taken) {
    return stamp_text(taken.scan_pay_second) + '\t' + stamp_text(taken.order_second) + '\t' +
           std::to_string(taken.order_counter) + "\r\n";
}

// Times more than a day ahead of the clock are forgotten.
TakenIds within_a_day(TakenIds taken, std::int64_t now) {
    if (taken.scan_pay_second > now + kSecondsPerDay) taken.scan_pay_second = 0;
    if (taken.order_second > now + kSecondsPerDay) taken.order_second = 0;
    return taken;
}

}  // namespace

TakenIds RequestIds::take(const platform::LocalTime& now,
                          void (*advance)(TakenIds&, std::int64_t)) {
    const std::lock_guard<std::mutex> hold(lock_);
    const std::string directory = log_directory();
    const std::string path = directory + platform::kPathSeparator + kRequestIdsFileName;
    make_directories(directory);
    platform::LockedFile file;
    std::string text;
    const bool read =
        path.size() < kPathSize && file.open(path.c_str()) && file.read(text, kLongestText);
    const std::int64_t clock = seconds_of(now);
    TakenIds taken = within_a_day(read ? later(parse(text), last_) : last_, clock);
    advance(taken, clock);
    if (!read || !file.replace(text_of(taken))) debug_trace(msg::kRequestIdsNotKept, path.c_str());
    last_ = taken;
    return taken;
}

platform::LocalTime RequestIds::take_scan_pay_second(const platform::LocalTime& now) {
    return time_of(take(now, advance_scan_pay).scan_pay_second);
}

OrderNumber RequestIds::take_order_number(const platform::LocalTime& now) {
    const TakenIds taken = take(now, advance_order);
    return OrderNumber{time_of(taken.order_second), taken.order_counter};
}

}  // namespace vortal
