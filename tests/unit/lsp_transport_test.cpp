// The language server's framing: messages read from a pipe as a client writes them, good and
// bad, and how reading recovers after a bad one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "lsp/transport.h"

namespace {

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string request(int id) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"shutdown"})";
}

// Every read of input until its end: a message's id, or -1 for a framing fault.
std::vector<long> read_all(const std::string& input) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    // The whole input fits in the pipe's buffer for these tests.
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    lsp::Transport transport(fds[0], -1);
    std::vector<long> seen;
    for (;;) {
        lsp::Incoming in = transport.read();
        if (in.status == lsp::Read::End)
            break;
        seen.push_back(in.status == lsp::Read::Message ? in.message.value("id", -2L) : -1L);
    }
    close(fds[0]);
    return seen;
}

TEST(LspFraming, GoodMessagesBackToBackAndWithOtherHeaders) {
    std::string input = framed(request(1)) + framed(request(2)) +
                        "content-type: application/vscode-jsonrpc; charset=utf-8\r\ncontent-length:  " +
                        std::to_string(request(3).size()) + " \r\n\r\n" + request(3);
    EXPECT_EQ(read_all(input), (std::vector<long>{1, 2, 3}));
}

TEST(LspFraming, OneFaultPerBadMessageAndEveryLaterMessageRead) {
    std::string body = request(9);
    std::string after = framed(request(1)) + framed(request(2));
    // A sign, a header line without ':', no Content-Length, a body that is not JSON.
    for (const std::string& bad : {"Content-Length: +2\r\n\r\n" + body,
                                   "Content-Length: " + std::to_string(body.size()) + "\r\nno colon\r\n\r\n" + body,
                                   "Content-Type: x\r\n\r\n" + body,
                                   framed("{not json"),
                                   "Content-Length: " + std::to_string(body.size() - 5) + "\r\n\r\n" + body})
        EXPECT_EQ(read_all(bad + after), (std::vector<long>{-1, 1, 2})) << bad;
}

TEST(LspFraming, ALengthPastTheBodyReadsOnFromTheNextHeader) {
    std::string body = request(9);
    std::string bad = "Content-Length: " + std::to_string(body.size() + 30) + "\r\n\r\n" + body;
    EXPECT_EQ(read_all(bad + framed(request(1)) + framed(request(2))), (std::vector<long>{-1, 1, 2}));
}

TEST(LspFraming, JunkWithoutHeadersIsOneFaultUpToTheNextHeader) {
    std::string junk(40000, 'x');
    EXPECT_EQ(read_all(junk + "\r\n\r\n" + framed(request(1))), (std::vector<long>{-1, 1}));
}

TEST(LspFraming, HeaderStartsAreFoundInAnyCaseAndNotInsideOtherWords) {
    EXPECT_EQ(lsp::find_header_start("abcCONTENT-LENGTH : 5", 0), 3u);
    EXPECT_EQ(lsp::find_header_start("Content-Length 5\r\nContent-Type:x", 0), 18u);
    EXPECT_EQ(lsp::find_header_start("Content-Lengthy: 5", 0), std::string::npos);
    EXPECT_EQ(lsp::find_header_start("Content-Length: 5", 1), std::string::npos);
}

TEST(LspFraming, StrayBytesAreFlaggedNotWrittenIntoTheMessage) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string input = framed("{\"jsonrpc\":\"2.0\",\"method\":\"x\",\"params\":{\"text\":\"a\xff\"}}");
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    lsp::Transport transport(fds[0], -1);
    lsp::Incoming in = transport.read();
    close(fds[0]);
    ASSERT_EQ(in.status, lsp::Read::Message);
    EXPECT_TRUE(in.stray_bytes);
    EXPECT_FALSE(in.message.contains("__carried"));
    std::string text = in.message["params"]["text"].get<std::string>();
    lsp::restore_stray_bytes(text);
    EXPECT_EQ(text, "a\xff");
}

TEST(LspFraming, GenuineCharactersOfTheCarriedBlockAreKeptBesideStrayBytes) {
    // U+10FE80, U+10FEFF and U+10FE7F (just outside the block) beside a stray 0xFF.
    std::string genuine = "\xf4\x8f\xba\x80|\xf4\x8f\xbb\xbf|\xf4\x8f\xb9\xbf";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string input = framed("{\"jsonrpc\":\"2.0\",\"method\":\"x\",\"params\":{\"text\":\"a\xff" + genuine + "\"}}");
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    lsp::Transport transport(fds[0], -1);
    lsp::Incoming in = transport.read();
    close(fds[0]);
    ASSERT_EQ(in.status, lsp::Read::Message);
    EXPECT_TRUE(in.stray_bytes);
    std::string text = in.message["params"]["text"].get<std::string>();
    lsp::restore_stray_bytes(text);
    EXPECT_EQ(text, "a\xff" + genuine);
}

}  // namespace
