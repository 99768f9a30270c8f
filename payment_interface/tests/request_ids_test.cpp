// The seconds and counters of new request ids as the processes of one till share them through
// their file: none is taken twice, whatever the clock does. Each RequestIds stands for a
// process, or a load of the library.
#include "request_ids.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "debugger_output.h"
#include "registry_support.h"

using namespace vortal;

namespace {

using RequestIdsTest = test_support::TillFolderTest;

std::string stamp_of(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

platform::LocalTime time_of(const std::string& stamp) {
    platform::LocalTime t{};
    std::sscanf(stamp.c_str(), "%4d%2d%2d%2d%2d%2d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                &t.second);
    return t;
}

}  // namespace

TEST_F(RequestIdsTest, NoSecondOrCounterIsTakenTwiceWhateverTheClockDoes) {
    RequestIds processes[2];
    struct Take {
        int process;
        bool order;
        const char* clock;
        const char* taken;  // the second, and for an order " " and the counter
    };
    const Take takes[] = {
        {0, false, "20260228235958", "20260228235958"},
        {1, false, "20260228235958", "20260228235959"},
        {0, false, "20260228235958", "20260301000000"},
        {1, false, "20260228230000", "20260301000001"},  // the clock set back
        {0, false, "20260302000000", "20260302000000"},
        {1, false, "20260227000000", "20260227000000"},  // set right after days ahead
        {0, false, "20280228235959", "20280228235959"},
        {1, false, "20280228235959", "20280229000000"},
        {1, true, "20260303090507", "20260303090507 1"},
        {0, true, "20260303090530", "20260303090530 2"},
        {1, true, "20260303090510", "20260303090530 3"},  // set back within the minute
        {0, true, "20260303090600", "20260303090600 1"},
        {1, true, "20260303090559", "20260303090600 2"},  // set back over the minute
    };
    for (const Take& take : takes) {
        RequestIds& process = processes[take.process];
        const platform::LocalTime clock = time_of(take.clock);
        std::string taken;
        if (take.order) {
            const OrderNumber number = process.take_order_number(clock);
            taken = stamp_of(number.time) + " " + std::to_string(number.number);
        } else {
            taken = stamp_of(process.take_scan_pay_second(clock));
        }
        EXPECT_EQ(taken, take.taken) << take.clock;
    }

    // A file cut short or written otherwise tells nothing taken; one that cannot be used
    // leaves each process its own ids, and the debugger is told.
    const platform::LocalTime clock = time_of("20260303100000");
    for (const char* text : {"", "2026", "20261399000000\t0\t1\r\n", "x\r\n"}) {
        test_support::write_file(log_file(kRequestIdsFileName), text);
        EXPECT_EQ(stamp_of(RequestIds().take_scan_pay_second(clock)), "20260303100000") << text;
    }
    std::filesystem::remove(log_file(kRequestIdsFileName));
    std::filesystem::create_directory(log_file(kRequestIdsFileName));
    test_support::DebuggerOutput debugger;
    RequestIds alone;
    alone.take_scan_pay_second(clock);
    EXPECT_EQ(stamp_of(alone.take_scan_pay_second(clock)), "20260303100001");
    EXPECT_NE(debugger.take().find(log_file(kRequestIdsFileName)), std::string::npos);
}
