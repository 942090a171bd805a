#include <gtest/gtest.h>

#include <climits>

#include "common/number.h"

using namespace vorn;

namespace {

struct Read {
    NumberRead result;
    int32_t value;
    std::ptrdiff_t consumed;
};

Read read(const char* text) {
    const char* s = text;
    int32_t value = -7;
    NumberRead result = read_number(&s, &value);
    return {result, value, s - text};
}

TEST(ReadNumber, ReadsSignAndDigitsUpToTheFirstOtherCharacter) {
    Read r = read("12abc");
    EXPECT_EQ(r.result, NumberRead::Ok);
    EXPECT_EQ(r.value, 12);
    EXPECT_EQ(r.consumed, 2);
    EXPECT_EQ(read("-121").value, -121);
    EXPECT_EQ(read("+5").value, 5);
    EXPECT_EQ(read("0007").value, 7);
}

TEST(ReadNumber, NoDigitsLeavesTextAndValueAlone) {
    for (const char* text : {"", "-", "+", "x1", "- 5", " 5"}) {
        Read r = read(text);
        EXPECT_EQ(r.result, NumberRead::None) << text;
        EXPECT_EQ(r.value, -7) << text;
        EXPECT_EQ(r.consumed, 0) << text;
    }
}

TEST(ReadNumber, SignedThirtyTwoBitRangeIsTheLimit) {
    EXPECT_EQ(read("2147483647").value, INT32_MAX);
    EXPECT_EQ(read("-2147483648").value, INT32_MIN);
    EXPECT_EQ(read("2147483648").result, NumberRead::OutOfRange);
    EXPECT_EQ(read("-2147483649").result, NumberRead::OutOfRange);
    Read huge = read("99999999999999999999999999x");
    EXPECT_EQ(huge.result, NumberRead::OutOfRange);
    EXPECT_EQ(huge.consumed, 26);
    EXPECT_EQ(read("000000000000000000000000001").value, 1);
}

}  // namespace
