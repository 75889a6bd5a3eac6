// The reading half of a sale against an in-process WhatsOnChain: what became of an
// offer's coins, who spent a coin, and a coin's value and script.
#include "ledger/offers.h"

#include <gtest/gtest.h>

#include "chain/tx.h"
#include "core/hex.h"
#include "ledger/walls.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_chain.h"

namespace {

using ledger_test::FakeChain;

std::string id64(char c, int n) {
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", n);
    return std::string(56, c) + tail;
}

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

const core::Bytes P2PKH = core::from_hex("76a914" + std::string(40, '1') + "88ac");

// Raw transaction spending coin_txid:0..n-1; the inputs marked signed carry an
// unlocking script, the others are left empty as the artwork inputs of an offer are.
core::Bytes offer_tx(const std::string& coin_txid, const std::vector<bool>& signed_inputs) {
    std::vector<chain::TxInput> ins(signed_inputs.size());
    for (std::size_t i = 0; i < ins.size(); ++i) {
        ins[i].txid = coin_txid;
        ins[i].vout = static_cast<std::uint32_t>(i);
        if (signed_inputs[i]) ins[i].unlocking_script = {0x01, 0x51};
    }
    return chain::serialize_tx(ins, {{1500, P2PKH}}, false);
}

class Offers : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeChain chain;
    testing_support::FakeClock clock;

    void SetUp() override {
        clock.install();
        ledger::reset_wall_caches();
    }
    void TearDown() override { ledger::reset_wall_caches(); }
};

TEST_F(Offers, StatusTellsWhoseCoinsMoved) {
    // Inputs 0 and 1 unsigned (artwork and certificate), 2 and 3 signed (the buyer's).
    const std::vector<bool> kinds = {false, false, true, true};
    struct Case {
        const char* name;
        std::vector<int> spent;  // inputs spent elsewhere
        int status;
    };
    const std::vector<Case> cases = {
        {"nothing spent", {}, 1},
        {"a buyer coin spent", {3}, 2},
        {"both buyer coins spent", {2, 3}, 2},
        {"the artwork coin spent", {0}, 3},
        {"the certificate coin spent", {1}, 3},
        {"coins of both kinds spent", {1, 2}, 3},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string coins = id64('e', ++n);
        for (int i : c.spent) chain.set_spent(coins + "_" + std::to_string(i), id64('9', n));
        const std::string hex = core::to_hex(offer_tx(coins, kinds));
        EXPECT_EQ(ledger::offer_status(hex), c.status) << c.name;
    }
}

TEST_F(Offers, StatusOfTextThatIsNoTransactionIsZero) {
    const std::string good = core::to_hex(offer_tx(id64('e', 1), {false, true}));
    struct Case {
        const char* name;
        std::string text;
        int status;
    };
    const std::vector<Case> cases = {
        {"empty", "", 0},
        {"79 hex digits", good.substr(0, 79), 0},
        {"78 hex digits", good.substr(0, 78), 0},
        {"odd count", good + "0", 0},
        {"truncated transaction", good.substr(0, good.size() - 20), 0},
        {"no transaction", std::string(200, 'f'), 0},
        {"only non-hex text", std::string(200, 'z'), 0},
        // Other characters are dropped and case does not matter: the same offer.
        {"spaced and in capitals", "  " + upper(good.substr(0, 40)) + "\n" + good.substr(40) + " ", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::offer_status(c.text), c.status) << c.name;
}

TEST_F(Offers, SpentByNamesOnlyAnotherTransaction) {
    const std::string coin = id64('e', 1), by = id64('b', 1);
    chain.set_spent(coin + "_0", upper(by));
    chain.set_spent(coin + "_1", coin);          // the service naming the coin's own transaction
    chain.set_spent(coin + "_2", "not a txid");  // nor a reply that is not an id
    struct Case {
        const char* name;
        std::string outpoint;
        std::string spender;
    };
    const std::vector<Case> cases = {
        {"spent", coin + "_0", by},
        {"colon form in capitals", upper(coin) + ":0", by},
        {"unspent (404)", coin + "_5", ""},
        {"own txid", coin + "_1", ""},
        {"malformed spender", coin + "_2", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::coin_spent_by(c.outpoint), c.spender) << c.name;

    // Malformed outpoints are answered without a request.
    const int asked = chain.hits("spent");
    for (const std::string& bad :
         {std::string(""), coin, coin + "_", coin + "_x", coin.substr(1) + "_0", std::string("zz_0")})
        EXPECT_EQ(ledger::coin_spent_by(bad), "") << bad;
    EXPECT_EQ(chain.hits("spent"), asked);
}

TEST_F(Offers, SpentAnswersAreKeptUnspentOnesForAWhileFailuresNot) {
    const std::string coin = id64('e', 1), by = id64('b', 1);
    chain.set_spent(coin + "_0", by);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_0"), by);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_1"), "");
    EXPECT_EQ(chain.hits("spent"), 2);
    clock.advance(ledger::HISTORY_FRESH_MS - 1);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_1"), "");
    EXPECT_EQ(chain.hits("spent"), 2);

    // The unspent answer ages; the coin was spent meanwhile.
    chain.set_spent(coin + "_1", by);
    clock.advance(1);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_1"), by);
    EXPECT_EQ(chain.hits("spent"), 3);
    clock.advance(24LL * 3600 * 1000);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_0"), by);
    EXPECT_EQ(ledger::coin_spent_by(coin + "_1"), by);
    EXPECT_EQ(chain.hits("spent"), 3);

    // A failed request is "not spent" now and asked again next time.
    const std::string other = id64('e', 2);
    chain.set_spent(other + "_0", by);
    chain.set_spent_down(true);
    EXPECT_EQ(ledger::coin_spent_by(other + "_0"), "");
    chain.set_spent_down(false);
    EXPECT_EQ(ledger::coin_spent_by(other + "_0"), by);
    EXPECT_EQ(chain.hits("spent"), 7);  // the failed one was asked again twice
}

TEST_F(Offers, CoinLookupReadsTheRawTransactionCheckedByItsTxid) {
    // Transaction JSON is never read for a script: the service cuts long ones there.
    const std::string json_tx = id64('d', 1);
    const core::Json output = {{"n", 0}, {"value", 0.5}, {"scriptPubKey", {{"hex", "51"}}}};
    chain.put_tx(json_tx, {{"txid", json_tx}, {"vout", core::Json::array({output})}});
    const core::Bytes raw = chain::serialize_tx(
        [] {
            std::vector<chain::TxInput> ins(1);
            ins[0].txid = id64('e', 7);
            ins[0].unlocking_script = {0x51};
            return ins;
        }(),
        {{700, P2PKH}, {12345, core::from_hex("6a")}}, false);
    const std::string raw_tx = chain::tx_id(raw);
    chain.put_raw_tx(raw_tx, core::to_hex(raw));
    const std::string liar = id64('d', 2);  // its raw hex is another transaction
    chain.put_raw_tx(liar, core::to_hex(raw));

    const std::string not_yet = "could not load that outpoint from the chain yet. Wait a few seconds.";
    struct Case {
        const char* name;
        std::string outpoint;
        std::int64_t sats;
        std::string script_hex;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"transaction JSON only", json_tx + "_0", 0, "", not_yet},
        {"raw transaction", raw_tx + "_1", 12345, "6a", ""},
        {"raw transaction, upper case and colon", upper(raw_tx) + ":0", 700, core::to_hex(P2PKH), ""},
        {"raw hex past its outputs", raw_tx + "_2", 0, "", not_yet},
        {"raw hex of another transaction", liar + "_0", 0, "", not_yet},
        {"unknown transaction", id64('d', 3) + "_0", 0, "", not_yet},
        {"bad outpoint", "xyz", 0, "", "bad outpoint."},
        {"no index", json_tx, 0, "", "bad outpoint."},
    };
    for (const auto& c : cases) {
        std::int64_t sats = -7;
        core::Bytes script = {0xee};
        std::string error = "unset";
        const bool ok = ledger::coin_lookup(c.outpoint, sats, script, error);
        EXPECT_EQ(ok, c.error.empty()) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(sats, c.sats) << c.name;
        EXPECT_EQ(core::to_hex(script), c.script_hex) << c.name;
    }
}

}  // namespace
