#include "records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace vortal;

TEST(BoundedFormatting, CutsToSizeLessOneAtACharacterAndAlwaysEndsWithNul) {
    char field[6];
    std::memset(field, 'x', sizeof field);
    format_bounded(field, sizeof field, "%s-%d", "abcdef", 42);
    EXPECT_STREQ(field, "abcde");

    char exact[4];
    copy_bounded(exact, "abcdef");
    EXPECT_STREQ(exact, "abc");
    copy_bounded(exact, "");
    EXPECT_STREQ(exact, "");

    // GBK: a cut that would keep the lead byte of a character without its trail byte stops
    // before the character.
    char gbk[5];
    copy_bounded(gbk, "a余余");
    EXPECT_STREQ(gbk, "a余");
    format_bounded(gbk, sizeof gbk, "%s%s", "a余", "余");
    EXPECT_STREQ(gbk, "a余");
    copy_bounded(gbk, "ab余余");
    EXPECT_STREQ(gbk, "ab余");
    copy_bounded(gbk, "余a\x81");  // a lone lead byte that ends the text is kept
    EXPECT_STREQ(gbk, "余a\x81");
}

TEST(BoundedFormatting, FitsMeansAtMostWidthLessOneBytes) {
    char field[5];
    EXPECT_TRUE(fits(field, "abcd"));
    EXPECT_FALSE(fits(field, "abcde"));
}

TEST(PaymentAddress, RunsOnOverMerchantAndShopFieldsUpTo259Bytes) {
    TransResult result;
    std::memset(&result, 0, sizeof result);
    std::memset(result.bank_order_no, 'B', sizeof result.bank_order_no - 1);
    const std::string address = "http://pay.example/" + std::string(300, 'a');

    store_address(result, address);

    const char* text = reinterpret_cast<const char*>(&result) + 3;
    EXPECT_EQ(std::string(text), address.substr(0, 259));
    EXPECT_STREQ(result.bank_order_no, "BBBBBBBBBBBB") << "the field after the area stays";
}
