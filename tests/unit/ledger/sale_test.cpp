// The sale's money rules and the seller's defence against hostile offers: finish_sale
// runs against an in-process WhatsOnChain with the seller's wallet bound, and a spy
// shows whether anything was signed or broadcast.
#include "ledger/sale.h"

#include <gtest/gtest.h>

#include <functional>

#include "chain/reservations.h"
#include "chain/tx.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ledger/offers.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_chain.h"
#include "wallet/document.h"
#include "wallet/keys.h"

namespace {

using ledger_test::FakeChain;
using ledger_test::test_address;

TEST(SaleSplit, GalleryFeeIsOneFiftiethFromFiftySats) {
    struct Case {
        std::int64_t price, fee;
    };
    const Case cases[] = {
        {1, 0},          {49, 0},
        {50, 1},         {99, 1},
        {100, 2},        {1000, 20},
        {1049, 20},      {chain::MAX_SATS, chain::MAX_SATS / 50},
        {0, -1},         {-50, -1},
        {chain::MAX_SATS + 1, -1}, {INT64_MAX, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::sale_fee(c.price), c.fee) << c.price;
}

std::string id64(char c, int n) {
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", n);
    return std::string(56, c) + tail;
}

core::Bytes p2pkh(const std::string& address) {
    core::Bytes h;
    wallet::hash160_from_address(address, h);
    return wallet::p2pkh_script(h);
}

const std::string SELLER_ORD = testing_support::ABANDON_ORDINALS0;
const std::string SELLER_PAY = testing_support::ABANDON_IDENTITY;
// A coin's transaction as the chain holds it: the bytes its txid is the hash of.
core::Bytes coin_raw(char spends, const std::vector<std::pair<std::int64_t, core::Bytes>>& outs) {
    chain::TxInput in;
    in.txid = id64(spends, 9);
    in.unlocking_script = {0x51};
    std::vector<chain::TxOutput> outputs;
    for (const auto& [sats, script] : outs) outputs.push_back({sats, script});
    return chain::serialize_tx({in}, outputs, false);
}

// An artwork of the seller's whose P2PKH lock follows an inscription envelope.
core::Bytes inscribed_lock() {
    core::Bytes inscribed = {0x00, 0x63, 0x03, 'o', 'r', 'd', 0x51, 0x01, 'x', 0x00, 0x01, 'y', 0x68};
    const core::Bytes lock = p2pkh(testing_support::ABANDON_ORDINALS0);
    inscribed.insert(inscribed.end(), lock.begin(), lock.end());
    return inscribed;
}

// Coins as WhatsOnChain holds them: the artwork and certificate at the seller's ordinals
// address, the buyer's payment, another coin of the seller's, a stranger's coin and the
// inscribed artwork.
const std::vector<core::Bytes> COINS = {
    coin_raw('a', {{1, p2pkh(SELLER_ORD)}, {1, p2pkh(SELLER_ORD)}}),
    coin_raw('b', {{20000, p2pkh(test_address(40))}}),
    coin_raw('c', {{9000, p2pkh(SELLER_ORD)}, {2, p2pkh(SELLER_ORD)}}),
    coin_raw('d', {{1, p2pkh(test_address(42))}}),
    coin_raw('e', {{1, inscribed_lock()}}),
};
const std::string ART_TX = chain::tx_id(COINS[0]);
const std::string BUYER_TX = chain::tx_id(COINS[1]);
const std::string SELLER_OTHER_TX = chain::tx_id(COINS[2]);
const std::string STRANGER_TX = chain::tx_id(COINS[3]);
const std::string INSCRIBED_TX = chain::tx_id(COINS[4]);
constexpr std::int64_t PRICE = 1000;

class Sale : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeChain chain;
    ledger_test::TestKey buyer = ledger_test::test_key(7, "bob");
    ledger_test::TestKey stranger = ledger_test::test_key(8, "eve");
    std::string buyer_ord = test_address(41);
    std::string title = R"({"owner":"bob","type":"art_owner"})";
    ledger::SpotLoad spot;
    int signed_count = 0, broadcasts = 0;
    testing_support::FakeClock clock;

    void SetUp() override {
        clock.install();
        core::Profile p = core::profile();
        p.sale_fee_address = test_address(30);
        core::set_profile(p);
        ledger::reset_offer_caches();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "sale-test"));
        for (const auto& raw : COINS) chain.put_raw_tx(chain::tx_id(raw), core::to_hex(raw));
        spot.shown = true;
        spot.spot = 3;
        spot.pic = std::string(64, '1');
        spot.cert = std::string(64, '2');
        spot.pic_utxo = ART_TX + "_0";
        spot.cert_utxo = ART_TX + "_1";
        spot.price = PRICE;
        spot.pay_addr = SELLER_PAY;
        spot.asks.push_back({id64('e', 1), buyer.pub, buyer_ord, "bob", PRICE, 10});
        spot.accepts.push_back({id64('e', 2), buyer.pub, title, PRICE, 11});
        ledger::set_sale_spy({[this](std::size_t) { ++signed_count; }, [this] { ++broadcasts; }});
    }
    void TearDown() override {
        ledger::set_sale_spy({});
        ledger::reset_offer_caches();
    }

    struct Offer {
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
    };
    static chain::TxInput input(const std::string& txid, std::uint32_t vout, bool is_signed) {
        chain::TxInput in;
        in.txid = txid;
        in.vout = vout;
        if (is_signed) in.unlocking_script = {0x01, 0x51};
        return in;
    }
    // The layout build_offer makes for this display and buyer.
    Offer genuine() const {
        Offer o;
        o.inputs = {input(ART_TX, 0, false), input(ART_TX, 1, false), input(BUYER_TX, 0, true)};
        o.outputs = {{1, p2pkh(buyer_ord)},
                     {1, p2pkh(buyer_ord)},
                     {20, p2pkh(test_address(30))},
                     {980, p2pkh(SELLER_PAY)},
                     {1, p2pkh(test_address(21))},
                     {0, chain::data_script(core::to_bytes(title))},
                     {18000, p2pkh(test_address(40))}};
        return o;
    }
    static std::string hex(const Offer& o) { return core::to_hex(chain::serialize_tx(o.inputs, o.outputs, false)); }
};

TEST_F(Sale, GenuineOfferIsSignedAndSentHostileOnesAreRefusedUnsigned) {
    struct Mutation {
        const char* name;
        std::function<void(Offer&, std::string& signer, ledger::SpotLoad&)> apply;
        const char* refusal;  // part of the error text
    };
    const std::vector<Mutation> mutations = {
        {"third unsigned input owned by the seller",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.inputs.push_back(input(SELLER_OTHER_TX, 0, false)); },
         "first two inputs unsigned"},
        {"signed input spending another seller coin",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.inputs.push_back(input(SELLER_OTHER_TX, 0, true)); },
         "another coin of this wallet"},
        {"signed input spending another inscribed seller coin",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.inputs.push_back(input(INSCRIBED_TX, 0, true)); },
         "another coin of this wallet"},
        {"seller output lowered", [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs[3].value = 979; },
         "pay the seller"},
        {"gallery fee lowered", [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs[2].value = 19; },
         "gallery fee"},
        {"artwork sent to a non-buyer",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs[0].script = p2pkh(test_address(42)); },
         "deliver the artwork"},
        {"certificate sent to a non-buyer",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs[1].script = p2pkh(test_address(42)); },
         "deliver the artwork"},
        {"no title output",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs.erase(o.outputs.begin() + 5); },
         "accepted title"},
        {"another title",
         [](Offer& o, std::string&, ledger::SpotLoad&) {
             o.outputs[5].script = chain::data_script(core::to_bytes(std::string(R"({"owner":"eve"})")));
         },
         "accepted title"},
        {"title trail not paid", [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs[4].value = 0; },
         "title trail"},
        {"a second change output",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.outputs.push_back({500, p2pkh(test_address(42))}); },
         "more than its change"},
        {"signer without an accept",
         [this](Offer&, std::string& signer, ledger::SpotLoad&) { signer = stranger.pub; }, "accepted"},
        {"inputs 0 and 1 swapped",
         [](Offer& o, std::string&, ledger::SpotLoad&) { std::swap(o.inputs[0], o.inputs[1]); }, "in order"},
        {"artwork input replaced by a stranger's coin",
         [](Offer& o, std::string&, ledger::SpotLoad&) { o.inputs[1] = input(STRANGER_TX, 0, false); }, "in order"},
        {"payment address not this wallet's",
         [](Offer& o, std::string&, ledger::SpotLoad& s) {
             s.pay_addr = test_address(43);
             o.outputs[3].script = p2pkh(test_address(43));
         },
         "not this wallet's"},
    };
    for (const auto& m : mutations) {
        SCOPED_TRACE(m.name);
        Offer o = genuine();
        std::string signer = buyer.pub;
        ledger::SpotLoad s = spot;
        m.apply(o, signer, s);
        signed_count = broadcasts = 0;
        const std::string result = ledger::finish_sale(hex(o), s, signer);
        EXPECT_NE(result.find(m.refusal), std::string::npos) << result;
        EXPECT_EQ(result.rfind("error: ", 0), 0u) << result;
        EXPECT_EQ(signed_count, 0);
        EXPECT_EQ(broadcasts, 0);
    }

    // The unchanged offer gets both artwork signatures and goes out (the fake chain has
    // no broadcast service, so the send itself fails).
    signed_count = broadcasts = 0;
    const std::string result = ledger::finish_sale(hex(genuine()), spot, buyer.pub);
    EXPECT_EQ(signed_count, 2) << result;
    EXPECT_EQ(broadcasts, 1) << result;
}

TEST_F(Sale, CheapSaleHasNoFeeOutputAndStillPasses) {
    spot.price = 49;
    spot.asks.back().price = spot.accepts.back().price = 49;
    Offer o = genuine();
    o.outputs.erase(o.outputs.begin() + 2);
    o.outputs[2].value = 49;
    std::string error;
    auto none = [](std::size_t) { return false; };
    ledger::OfferTerms t;
    t.pic_utxo = spot.pic_utxo;
    t.cert_utxo = spot.cert_utxo;
    t.price = 49;
    t.pay_addr = SELLER_PAY;
    t.fee_address = test_address(30);
    t.oao_address = test_address(21);
    t.asks = spot.asks;
    t.accepts = spot.accepts;
    EXPECT_TRUE(ledger::check_offer_layout(o.inputs, o.outputs, t, buyer.pub, none, true, error)) << error;
    // A fee output where none is due shifts the seller's output: refused.
    Offer with_fee = genuine();
    with_fee.outputs[3].value = 49;
    EXPECT_FALSE(ledger::check_offer_layout(with_fee.inputs, with_fee.outputs, t, buyer.pub, none, true, error));
}

TEST_F(Sale, SaleCountsAsDoneOnlyWhenItsSpenderAlsoTookThePayment) {
    const std::string sale_tx = id64('f', 1), other_tx = id64('f', 2);
    // The artwork left in a transaction that did not spend the buyer's coin.
    chain.set_spent(ART_TX + "_0", other_tx);
    chain.set_spent(ART_TX + "_1", other_tx);
    EXPECT_EQ(ledger::finish_sale(hex(genuine()), spot, buyer.pub), "error: one of the artwork coins was already spent.");
    EXPECT_EQ(signed_count + broadcasts, 0);

    ledger::reset_offer_caches();
    chain.set_spent(ART_TX + "_0", sale_tx);
    chain.set_spent(ART_TX + "_1", sale_tx);
    chain.set_spent(BUYER_TX + "_0", sale_tx);
    std::string error;
    ASSERT_TRUE(chain::add_offer_locks({BUYER_TX + "_0"}, error)) << error;
    ASSERT_TRUE(chain::update_reserve_entries(
        [&](std::vector<chain::ReserveEntry>& entries) {
            chain::ReserveEntry shown{spot.pic_utxo, spot.cert_utxo, spot.pic, spot.cert, PRICE, 0, 3};
            chain::ReserveEntry other{id64('9', 1) + "_0", id64('9', 1) + "_1", std::string(64, '9'),
                                      std::string(64, '8'), -1, 0, 5};
            entries = {shown, other};
            return true;
        },
        error))
        << error;
    EXPECT_EQ(ledger::finish_sale(hex(genuine()), spot, buyer.pub), "success: " + sale_tx);
    std::vector<std::string> locks;
    ASSERT_TRUE(chain::read_offer_locks(locks, error)) << error;
    EXPECT_TRUE(locks.empty());
    // The sold piece leaves the reserve; another display's entry stays.
    std::vector<chain::ReserveEntry> reserve;
    ASSERT_TRUE(chain::read_reserve_entries(reserve, error)) << error;
    ASSERT_EQ(reserve.size(), 1u);
    EXPECT_EQ(reserve[0].pic, std::string(64, '9'));
    EXPECT_EQ(signed_count + broadcasts, 0);
}

TEST_F(Sale, BuyerPaysOnlyForATitleNamingThemSignedByTheOwner) {
    const ledger_test::TestKey owner = ledger_test::test_key(9, "alice");
    chain.register_key(owner);
    chain.register_key(stranger);
    spot.owner = owner.pub;
    const std::string last = id64('9', 9);
    auto title_of = [&](const std::function<void(core::Json&)>& change, const ledger_test::TestKey& by) {
        core::Json t = {{"protocol", "OV-Art"}, {"type", "art_owner"}, {"location", "art"}, {"handle", by.handle},
                        {"actor", by.handle}, {"pic", spot.pic}, {"cert", spot.cert}, {"owner", buyer.pub},
                        {"prev", last}, {"ts", 1700000000}};
        change(t);
        FakeChain::sign(t, by);
        return ledger::record_text(t);
    };
    auto same = [](core::Json&) {};
    struct Case {
        const char* name;
        std::string title;
        bool ok;
    };
    std::string tampered = title_of(same, owner);
    tampered.replace(tampered.find(last), 64, id64('8', 8));
    const Case cases[] = {
        {"genuine", title_of(same, owner), true},
        {"names someone else", title_of([&](core::Json& t) { t["owner"] = stranger.pub; }, owner), false},
        {"another artwork", title_of([](core::Json& t) { t["pic"] = std::string(64, '3'); }, owner), false},
        {"another certificate", title_of([](core::Json& t) { t["cert"] = std::string(64, '3'); }, owner), false},
        {"does not follow the chain", title_of([&](core::Json& t) { t["prev"] = id64('8', 8); }, owner), false},
        {"not a title", title_of([](core::Json& t) { t["type"] = "art_pair"; }, owner), false},
        {"signed by someone else", title_of(same, stranger), false},
        {"altered after signing", tampered, false},
        {"not JSON", "{", false},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(ledger::check_title(c.title, spot, buyer.pub, last, error), c.ok) << c.name << ": " << error;
    }
}

TEST(SaleCoins, ArtworkCoinsMustHoldOneSatAndTheDisplayedInscriptions) {
    ledger::SpotLoad s;
    s.pic = std::string(64, '1');
    s.cert = std::string(64, '2');
    s.pic_origin = s.pic + "_0";
    s.cert_origin = s.cert + "_0";
    struct Case {
        const char* name;
        std::int64_t pic_sats, cert_sats;
        std::string pic_origin, cert_origin;
        bool ok;
    };
    const std::string up = "1111111111111111111111111111111111111111111111111111111111111111_0";
    const Case cases[] = {
        {"genuine", 1, 1, s.pic + "_0", s.cert + "_0", true},
        {"genuine, colon form", 1, 1, s.pic + ":0", s.cert + ":0", true},
        {"artwork coin of value 2", 2, 1, s.pic + "_0", s.cert + "_0", false},
        {"certificate coin of value 2", 1, 2, s.pic + "_0", s.cert + "_0", false},
        {"artwork coin carries another inscription", 1, 1, std::string(64, '3') + "_0", s.cert + "_0", false},
        {"certificate coin carries the artwork", 1, 1, s.pic + "_0", s.pic + "_0", false},
        {"index names no origin", 1, 1, "", s.cert + "_0", false},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(ledger::check_artwork_coins(c.pic_sats, c.cert_sats, c.pic_origin, c.cert_origin, s, error), c.ok)
            << c.name << ": " << error;
    }
}

}  // namespace
