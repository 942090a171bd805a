#include <gtest/gtest.h>

#include <string>

#include "common/char_class.h"
#include <vorn/language.h>

using namespace vorn;

namespace {

std::string trimmed(std::string text) {
    text.resize(text.size() + 1);
    trim_blanks(text.data());
    return text.c_str();
}

TEST(TrimBlanks, RemovesWhiteSpaceAtBothEndsOnly) {
    EXPECT_EQ(trimmed(" \t 10 \r\v\f"), "10");
    EXPECT_EQ(trimmed("a b"), "a b");
    EXPECT_EQ(trimmed("   "), "");
    EXPECT_EQ(trimmed(""), "");
    // The string marks are not white space.
    EXPECT_EQ(trimmed(" \xFF a \xFE "), "\xFF a \xFE");
}

TEST(FindCondition, KnowsTheEightKeywordsInOrderAndNothingElse) {
    const char* keywords[] = {"Equal",          "NotEqual",        "LessThan",
                              "NotLessThan",    "GreaterThan",     "NotGreaterThan",
                              "LessThanOrEqual", "GreaterThanOrEqual"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(find_condition(keywords[i]), i) << keywords[i];
    EXPECT_EQ(find_condition("equal"), -1);
    EXPECT_EQ(find_condition("Greater"), -1);
    EXPECT_EQ(find_condition(""), -1);
}

}  // namespace
