#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "codegen/code_buffer.h"
#include "common/compile_state.h"
#include "common/messages.h"
#include "frontend/statement.h"

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

std::vector<unsigned> encoded(int32_t v) {
    reset_compile_state();
    emit_number(v);
    return std::vector<unsigned>(state.code, state.code + state.code_pos);
}

TEST(EmitNumber, PicksTheShortestWidthWithinTheNarrowLimits) {
    using V = std::vector<unsigned>;
    EXPECT_EQ(encoded(0), (V{0x00, 0x00}));
    EXPECT_EQ(encoded(120), (V{0x00, 0x78}));
    EXPECT_EQ(encoded(-120), (V{0x00, 0x88}));
    EXPECT_EQ(encoded(121), (V{0x01, 0x79, 0x00}));
    EXPECT_EQ(encoded(-121), (V{0x01, 0x87, 0xFF}));
    EXPECT_EQ(encoded(32760), (V{0x01, 0xF8, 0x7F}));
    EXPECT_EQ(encoded(-32760), (V{0x01, 0x08, 0x80}));
    EXPECT_EQ(encoded(32761), (V{0x02, 0xF9, 0x7F, 0x00, 0x00}));
    EXPECT_EQ(encoded(-32761), (V{0x02, 0x07, 0x80, 0xFF, 0xFF}));
    EXPECT_EQ(encoded(65535), (V{0x02, 0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(encoded(INT32_MIN), (V{0x02, 0x00, 0x00, 0x00, 0x80}));
}

std::jmp_buf fatal_return;
int fatal_status;

void catch_fatal(int status) {
    fatal_status = status;
    std::longjmp(fatal_return, 1);
}

TEST(EmitByte, StopsTheRunAtTheFirstByteThatDoesNotFit) {
    reset_compile_state();
    set_fatal_handler(catch_fatal);
    fatal_status = 0;
    if (setjmp(fatal_return) == 0) {
        for (int i = 0; i < CodeBufferSize - 1; ++i)
            emit_byte(0x11);
        // A two-byte number starting in the last free byte stops halfway.
        emit_number(0);
    }
    set_fatal_handler(nullptr);
    fflush(stdout);
    EXPECT_EQ(fatal_status, 301);
    EXPECT_EQ(state.code_pos, CodeBufferSize);
    EXPECT_EQ(state.code[CodeBufferSize - 1], ArgInt8);
}

}  // namespace
