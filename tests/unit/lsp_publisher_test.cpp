// The publishing of diagnostics on its own: random sequences of what the server tells the
// publisher (a project found something, a project went, a document shows something of its
// own, a document opened or closed), against a client that keeps what it was sent last.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "lsp/publisher.h"

namespace {

using lsp::Diagnostic;

const std::vector<std::string> Uris = {"file:///p/a.vs", "file:///p/b.vs", "file:///p/lib/x.vs", "file:///q/c.vs"};
// "" holds what documents show of their own.
const std::vector<std::string> Folders = {"", "/p", "/p/sub", "/q"};

// A small pool, so that two projects often find the same diagnostic in a shared file.
Diagnostic diagnostic(uint32_t n) {
    return Diagnostic{lsp::line_range(n, 0, 1), n % 2 ? lsp::SeverityError : lsp::SeverityWarning, "code",
                      "text " + std::to_string(n), {}};
}

std::vector<Diagnostic> some_diagnostics(std::mt19937& random) {
    std::vector<Diagnostic> list;
    for (std::size_t count = random() % 3; list.size() < count;)
        list.push_back(diagnostic(random() % 5));
    return list;
}

// After every take: the client shows, for every URI, what the projects found in it, each
// diagnostic once (so a document whose text has an error never shows an empty list); a URI is
// sent at most once a take, and only when what it shows changes or it was touched always (a
// document opened, changed or closed), which is always sent, with the document's version.
TEST(LspPublisher, TheClientShowsWhatWasFoundAndOnlyChangesAreSent) {
    std::mt19937 random(2026);
    std::size_t sent = 0, unchanged_sent = 0, skipped = 0;
    for (int round = 0; round < 300; ++round) {
        lsp::Publisher publisher;
        std::map<std::string, std::map<std::string, std::vector<Diagnostic>>> found;  // by folder, by URI
        std::map<std::string, std::vector<Diagnostic>> shown;                         // the client's
        std::set<std::string> always, open;
        for (int step = 0; step < 40; ++step) {
            const std::string& uri = Uris[random() % Uris.size()];
            const std::string& folder = Folders[1 + random() % (Folders.size() - 1)];
            switch (random() % 6) {
            case 0:
            case 1: {
                std::map<std::string, std::vector<Diagnostic>> by_uri;
                for (const std::string& target : Uris)
                    if (random() % 2)
                        by_uri[target] = some_diagnostics(random);
                found[folder] = by_uri;
                publisher.found(folder, std::move(by_uri));
                break;
            }
            case 2:
                found.erase(folder);
                publisher.forget(folder);
                break;
            case 3: {
                std::vector<Diagnostic> own = random() % 2 ? some_diagnostics(random) : std::vector<Diagnostic>{};
                found[""][uri] = own;
                publisher.own(uri, std::move(own));
                break;
            }
            case 4:  // opened, changed, or closed and opened again
                open.insert(uri);
                always.insert(uri);
                publisher.touch(uri, true);
                break;
            case 5: {
                auto version = [&](const std::string& target) -> std::optional<int64_t> {
                    if (open.count(target))
                        return static_cast<int64_t>(target.size());
                    return std::nullopt;
                };
                if (!always.empty()) {
                    EXPECT_TRUE(publisher.due());
                }
                std::set<std::string> once;
                for (const lsp::PublishDiagnosticsParams& params : publisher.take(version)) {
                    ++sent;
                    EXPECT_TRUE(once.insert(params.uri).second) << params.uri << " sent twice";
                    EXPECT_EQ(params.version, version(params.uri));
                    nlohmann::json json = params;
                    EXPECT_EQ(json.contains("version"), open.count(params.uri) == 1);
                    if (params.diagnostics == shown[params.uri]) {
                        ++unchanged_sent;
                        EXPECT_TRUE(always.count(params.uri)) << params.uri << " sent with nothing changed";
                    }
                    shown[params.uri] = params.diagnostics;
                }
                for (const std::string& target : always)
                    EXPECT_TRUE(once.count(target)) << target << " opened but not sent";
                always.clear();
                EXPECT_FALSE(publisher.due());
                for (const std::string& target : Uris) {
                    std::vector<Diagnostic> expected;
                    for (const auto& [from, by_uri] : found) {
                        auto it = by_uri.find(target);
                        if (it != by_uri.end())
                            for (const Diagnostic& one : it->second)
                                if (std::find(expected.begin(), expected.end(), one) == expected.end())
                                    expected.push_back(one);
                    }
                    EXPECT_EQ(shown[target], expected) << target << " in round " << round << ", step " << step;
                    skipped += once.count(target) == 0;
                }
                break;
            }
            }
        }
    }
    // The rounds reached every rule: sent because changed, sent unchanged because opened, not sent.
    EXPECT_GT(sent - unchanged_sent, 100u);
    EXPECT_GT(unchanged_sent, 50u);
    EXPECT_GT(skipped, 100u);
}

}  // namespace
