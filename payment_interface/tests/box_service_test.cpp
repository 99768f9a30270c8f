#include "box_service.h"

#include <gtest/gtest.h>

#include <string>

using namespace vortal;

TEST(PercentEncoding, KeepsUnreservedCharactersAndEncodesTheRestInLowercaseHex) {
    char out[64];
    EXPECT_EQ(percent_encode("AZaz09-.~", out, sizeof out), 9u);
    EXPECT_STREQ(out, "AZaz09-.~");
    percent_encode("a+b/c=_ d", out, sizeof out);
    EXPECT_STREQ(out, "a%2bb%2fc%3d%5f+d");
    percent_encode("\xd7\xc0\x0a", out, sizeof out);  // 桌 and a line feed
    EXPECT_STREQ(out, "%d7%c0%0a");
}

TEST(PercentEncoding, ATextThatWouldNotFitGivesNothing) {
    char out[7];
    EXPECT_EQ(percent_encode("ab//", out, sizeof out), 0u) << "needs 8 bytes with its NUL";
    EXPECT_STREQ(out, "");
    EXPECT_EQ(percent_encode("ab/c", out, sizeof out), 6u);
    EXPECT_STREQ(out, "ab%2fc");
}
