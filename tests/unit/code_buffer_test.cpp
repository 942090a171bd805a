#include <gtest/gtest.h>

#include <vector>

#include "codegen/code_buffer.h"
#include "test_state.h"

namespace {

std::vector<unsigned> encoded(int32_t v) {
    TestState t;
    emit_number(*t.s, v);
    return std::vector<unsigned>(t.s->code, t.s->code + t.s->code_pos);
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

TEST(EmitByte, StopsTheRunAtTheFirstByteThatDoesNotFit) {
    TestState t;
    int status = 0;
    try {
        for (int i = 0; i < CodeBufferSize - 1; ++i)
            emit_byte(*t.s, 0x11);
        // A two-byte number starting in the last free byte stops halfway.
        emit_number(*t.s, 0);
    } catch (const FatalEnd& end) {
        status = end.status;
    }
    EXPECT_EQ(status, 301);
    EXPECT_EQ(t.s->code_pos, CodeBufferSize);
    EXPECT_EQ(t.s->code[CodeBufferSize - 1], ArgInt8);
    ASSERT_EQ(t.result.diagnostics.size(), 1u);
    EXPECT_EQ(t.result.diagnostics[0].kind, DiagnosticKind::CodeTooBig);
    EXPECT_TRUE(t.result.diagnostics[0].fatal);
    EXPECT_EQ(t.sink.text(), "Code size too big!");
}

}  // namespace
