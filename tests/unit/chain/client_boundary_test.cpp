// WhatsOnChain, the ordinals index, ARC and the platform service are each spoken to by
// their own client in chain/: every route, URL, status reading and reply field lives there. Code above it
// calls typed functions, so a service changing its routes or replies is mended in one
// place. A URL builder of those services, one of their routes or a field only their
// replies carry, anywhere in the program above chain/, fails this test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Folders of the program above the service clients (the devnet and the tests stand
// outside the program).
const char* const ABOVE_THE_CLIENTS[] = {"ledger", "ordinals", "wallet", "bridge", "shell", "setup",
                                         "tools/cli", "tools/wendrel", "tools/common", "web/src"};

struct Rule {
    const char* what;
    std::regex pattern;
};

std::vector<Rule> rules() {
    return {
        {"a service URL builder", std::regex(R"(\b(woc|ord|arc|svc)_[a-z0-9_]*_url\s*\()")},
        {"a service route",
         std::regex(R"re("[^"\n]*(/tx/|/txs\b|/address/|/addresses/|/utxos/|/txos/|/bsv20/|/content/|/arc/|/v1/bsv/|/oi/|/api/paymail/|/api/bsvalias/))re")},
        {"a service reply field",
         std::regex(R"re("(tx_hash|tx_pos|nextPageToken|isTruncated|isSpentInMempoolTx|spentIn|txStatus|extraInfo|competingTxs|blockhash|confirmations|frozen|insc|bsv20|bsv21|spend)")re")},
    };
}

bool is_source(const fs::path& p) {
    const std::string e = p.extension().string();
    return e == ".cpp" || e == ".h" || e == ".js" || e == ".mjs";
}

}  // namespace

TEST(ClientBoundary, NoServiceRouteOrReplyFieldIsNamedAboveItsClient) {
    const fs::path root = QUENVALE_SOURCE_DIR;
    const std::vector<Rule> checks = rules();
    std::size_t files = 0;
    std::vector<std::string> found;
    for (const char* dir : ABOVE_THE_CLIENTS) {
        const fs::path top = root / dir;
        if (!fs::exists(top)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            if (!entry.is_regular_file() || !is_source(entry.path())) continue;
            if (entry.path().string().find("node_modules") != std::string::npos) continue;
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            for (int n = 1; std::getline(in, line); ++n)
                for (const Rule& r : checks)
                    if (std::regex_search(line, r.pattern))
                        found.push_back(fs::relative(entry.path(), root).string() + ":" + std::to_string(n) + ": " +
                                        r.what + ": " + line);
        }
    }
    // The scan saw the program, not an empty tree.
    EXPECT_GT(files, 100u);
    std::ostringstream all;
    for (const auto& f : found) all << f << "\n";
    EXPECT_TRUE(found.empty()) << "move these into the service's client in chain/:\n" << all.str();

    // The rules themselves catch what they are for.
    const std::vector<std::pair<std::size_t, std::string>> offending = {
        {0, R"(chain::wallet_get(chain::woc_tx_url(txid), 10);)"},
        {1, R"(const std::string url = root + "/address/" + a + "/unspent";)"},
        {2, R"(core::json_string(item, "tx_hash");)"},
        {0, R"(chain::gallery_get_json(chain::svc_tx_url(txid), 6, out);)"},
        {1, R"(const std::string url = root + "/oi/oracle/" + name;)"},
        {2, R"(core::json_bool(reply, "frozen");)"},
        {2, R"(if (!core::json_string(txo, "spend").empty()) continue;)"},
    };
    for (const auto& [rule, text] : offending) EXPECT_TRUE(std::regex_search(text, checks[rule].pattern)) << text;
}
