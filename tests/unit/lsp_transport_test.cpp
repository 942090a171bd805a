// The language server's framing: messages read from a pipe as a client writes them, good and
// bad, and how reading recovers after a bad one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>
#include <string>
#include <thread>
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

// A random JSON text: nested objects (with repeated keys) and arrays, strings with escapes and
// characters of every width, numbers of each kind, with blanks between the parts.
std::string random_json(std::mt19937& rng, int depth) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto blank = [&] { return std::string(static_cast<std::size_t>(pick(3)), ' '); };
    auto text = [&] {
        static const char* const pieces[] = {"a", "Say", "\\n", "\\\"", "\\\\", "\\u00e9", "\\ud83d\\ude00",
                                             "\xC3\xA9", "\xF0\x9F\x98\x80", " ", "/", "\\/", "\\t"};
        std::string out = "\"";
        for (int n = pick(8); n > 0; --n)
            out += pieces[pick(sizeof pieces / sizeof *pieces)];
        return out + "\"";
    };
    int kind = depth >= 4 ? 2 + pick(5) : pick(7);
    std::string out;
    if (kind == 0 || kind == 1) {
        bool object = kind == 0;
        out = object ? "{" : "[";
        for (int n = pick(5), i = 0; i < n; ++i) {
            out += (i ? "," : "") + blank();
            if (object)
                out += (pick(3) == 0 ? std::string("\"k\"") : text()) + blank() + ":" + blank();
            out += random_json(rng, depth + 1) + blank();
        }
        return out + (object ? "}" : "]");
    }
    switch (kind) {
    case 2: return text();
    case 3: return std::to_string(static_cast<int64_t>(rng()) - (int64_t{1} << 31));
    case 4: return std::to_string(uint64_t{rng()} << 32 | rng());
    case 5: return std::to_string(pick(1000)) + "." + std::to_string(pick(1000)) + "e" + std::to_string(pick(20) - 10);
    default: return pick(3) == 0 ? "null" : pick(2) ? "true" : "false";
    }
}

// The transport builds each message's value itself (taking its strings from the parser):
// the value must be the one nlohmann's own parser gives, for generated messages, a large one
// among them, and none for a body cut short.
TEST(LspFraming, MessagesParseToWhatTheJsonLibraryGives) {
    std::mt19937 rng(26);
    std::vector<std::string> bodies;
    for (int i = 0; i < 300; ++i)
        bodies.push_back(random_json(rng, 0));
    // A document of 3 MB: its room is reserved at once and given back after it.
    bodies.push_back(R"({"params":{"text":")" + std::string(3 << 20, 'x') + R"("},"id":1})");
    std::string input;
    for (const std::string& body : bodies)
        input += framed(body) + framed(body.substr(0, body.size() / 2)) + framed(body);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < input.size();) {
            ssize_t wrote = write(fds[1], input.data() + at, input.size() - at);
            if (wrote <= 0)
                break;
            at += static_cast<std::size_t>(wrote);
        }
        close(fds[1]);
    });
    lsp::Transport transport(fds[0], -1);
    for (const std::string& body : bodies) {
        nlohmann::json expected = nlohmann::json::parse(body);
        lsp::Incoming whole = transport.read();
        ASSERT_EQ(whole.status, lsp::Read::Message) << body;
        EXPECT_EQ(whole.message, expected) << body;
        EXPECT_EQ(whole.message.dump(), expected.dump()) << body;
        // Half a body is no message (a short body, such as "1" cut to "", included).
        lsp::Incoming half = transport.read();
        EXPECT_EQ(half.status == lsp::Read::Message,
                  !nlohmann::json::parse(body.substr(0, body.size() / 2), nullptr, false).is_discarded())
            << body;
        if (half.status == lsp::Read::Message) {
            EXPECT_EQ(half.message, nlohmann::json::parse(body.substr(0, body.size() / 2)));
        }
        lsp::Incoming again = transport.read();
        ASSERT_EQ(again.status, lsp::Read::Message) << body;
        EXPECT_EQ(again.message, expected);
    }
    EXPECT_EQ(transport.read().status, lsp::Read::End);
    writer.join();
    close(fds[0]);
}

}  // namespace
