#include "ledger/records.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "chain/tx.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ledger/identity_checks.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_registry.h"
#include "wallet/document.h"
#include "wallet/identity.h"
#include "wallet/registry.h"

namespace {

using core::Json;
using ledger_test::FakeRegistry;

// Records signed with @bsv/sdk by tests/data/ov-art-records.mjs, with the messages that
// script built on its own.
const Json& fixture() {
    static const Json j = [] {
        std::ifstream in(std::string(QUENVALE_SOURCE_DIR) + "/tests/data/ov-art-records.json");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Json parsed;
        EXPECT_TRUE(core::parse_json(text, parsed)) << "tests/data/ov-art-records.json";
        return parsed;
    }();
    return j;
}

Json fixture_record(const std::string& type) {
    for (const auto& e : fixture()["records"])
        if (e["record"]["type"] == type) return e["record"];
    ADD_FAILURE() << "no fixture record of type " << type;
    return Json::object();
}

// The fixture's key (the generator's SHA-256 of a fixed phrase), for records the tests
// build and sign themselves.
std::string fixture_priv() { return core::to_hex(core::sha256(std::string("quenvale ov-art record fixture"))); }

Json sign_locally(Json r) {
    std::string sig;
    EXPECT_TRUE(wallet::sign_plain(fixture_priv(), wallet::signed_message_digest(ledger::record_message(r)), sig));
    r["pubkey"] = fixture()["public_key"];
    r["sig"] = sig;
    return r;
}

Json show_record() {
    return {{"protocol", "OV-Art"}, {"type", "art_show"},     {"location", "art"},
            {"handle", "alice"},    {"actor", "alice"},        {"ts", 1733650000},
            {"spot", "as3"},        {"pic", "p1"},             {"cert", "c1"},
            {"sha256", "s1"},       {"price", "1500"},         {"exp", 1734254800},
            {"pic_utxo", "pu_0"},   {"cert_utxo", "cu_1"},     {"pay_addr", "1PayAddr"}};
}

std::string script_hex(const std::string& payload) {
    return core::to_hex(chain::data_script(core::to_bytes(payload)));
}

Json tx_with_scripts(const std::vector<Json>& outputs) {
    Json vout = Json::array();
    for (const auto& o : outputs) vout.push_back(o);
    return {{"txid", std::string(64, 'a')}, {"vout", vout}};
}

Json data_output(const std::string& payload) { return {{"value", 0}, {"scriptPubKey", {{"hex", script_hex(payload)}}}}; }

}  // namespace

// --- frame table -------------------------------------------------------------------

TEST(FrameTable, RowsComeFromTheProfileAndStrayNumbersFallBackToFrameOne) {
    FakeRegistry registry;  // installs a profile with frames "1Frame1".."1Frame10"
    auto table = ledger::frame_table();
    for (int n = 1; n <= 10; ++n) {
        const auto& row = table[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(row.number, n);
        EXPECT_EQ(row.spot, "as" + std::to_string(n));
        EXPECT_EQ(row.watch_address, "1Frame" + std::to_string(n));
    }
    for (int stray : {0, 11, -3, 1000}) {
        auto row = ledger::frame_row(stray);
        EXPECT_EQ(row.number, 1) << stray;
        EXPECT_EQ(row.spot, "as1") << stray;
        EXPECT_EQ(row.watch_address, "1Frame1") << stray;
    }
    struct Case {
        const char* spot;
        int frame;
    };
    for (const Case& c : {Case{"as1", 1}, Case{" AS10 ", 10}, Case{"as7", 7}, Case{"as0", 0}, Case{"as11", 0},
                          Case{"as01", 0}, Case{"ap3", 0}, Case{"", 0}})
        EXPECT_EQ(ledger::frame_of_spot(c.spot), c.frame) << c.spot;
}

// --- signing message -----------------------------------------------------------------

TEST(RecordMessage, EveryTypeSignsItsFieldsInOrderWithTheTimestampTwice) {
    const Json base = {{"protocol", "OV-Art"}, {"location", "art"}, {"handle", "alice"}, {"actor", "alice"},
                       {"ts", 1700000000}};
    auto with = [&](Json extra) {
        Json r = base;
        r.update(extra);
        return r;
    };
    struct Case {
        Json record;
        std::string message;
    };
    const std::vector<Case> cases = {
        {with({{"type", "art_gentry"}}), "OV1|art_gentry|art|alice|alice|1700000000|visit|1700000000"},
        {show_record(), "OV1|art_show|art|alice|alice|1733650000|as3|p1|c1|s1|1500|1734254800|pu_0|cu_1|1PayAddr|"
                        "1733650000"},
        {with({{"type", "art_hide"}, {"spot", "as2"}, {"pic", "P"}, {"cert", "C"}}),
         "OV1|art_hide|art|alice|alice|1700000000|as2|p|c|1700000000"},
        {with({{"type", "art_gclear"}, {"spot", "as9"}, {"pic", "p"}}),
         "OV1|art_gclear|art|alice|alice|1700000000|as9|p|1700000000"},
        {with({{"type", "art_gask"}, {"spot", "as1"}, {"pic", "p"}, {"cert", "c"}, {"price_sats", 1500},
               {"buyer_ord", "1BuyerOrd"}, {"buyer", "02AB"}}),
         "OV1|art_gask|art|alice|alice|1700000000|as1|p|c|1500|1BuyerOrd|02ab|1700000000"},
        {with({{"type", "art_gaccept"}, {"spot", "as1"}, {"pic", "p"}, {"cert", "c"}, {"buyer", "02ab"},
               {"prev", "PV"}, {"price_sats", 7}, {"title_sha", "TS"}, {"title_json", "{}"}}),
         "OV1|art_gaccept|art|alice|alice|1700000000|as1|p|c|02ab|pv|7|ts|1700000000"},
        {with({{"type", "art_gfunded"}, {"spot", "as4"}, {"offer_sha", "OS"}, {"offer", "0100"}}),
         "OV1|art_gfunded|art|alice|alice|1700000000|as4|os|1700000000"},
        {with({{"type", "art_owner"}, {"pic", "p"}, {"cert", "c"}, {"owner", "03CD"}, {"prev", "x"}}),
         "OV1|art_owner|art|alice|alice|1700000000|p|c|03cd|x|1700000000"},
        {with({{"type", "art_pair"}, {"pic", "p"}, {"cert", "c"}, {"sha256", "S"}, {"owner", "03cd"}}),
         "OV1|art_pair|art|alice|alice|1700000000|p|c|s|03cd|1700000000"},
        // Missing fields sign as empty text or 0; wrong JSON kinds likewise.
        {with({{"type", "art_gask"}, {"spot", 3}, {"price_sats", "1500"}}),
         "OV1|art_gask|art|alice|alice|1700000000||||0|||1700000000"},
        // A type outside the gallery's set has no payload; the type keeps its case.
        {with({{"type", " Art_Show "}, {"spot", "as1"}}), "OV1|Art_Show|art|alice|alice|1700000000|"},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::record_message(c.record), c.message) << c.record.dump();
}

TEST(RecordMessage, ViewOnlyAndPricedDisplaysSignTheirPriceText) {
    Json priced = show_record();
    Json view_only = show_record();
    view_only["price"] = "-";
    EXPECT_NE(ledger::record_message(priced).find("|s1|1500|1734254800|"), std::string::npos);
    EXPECT_NE(ledger::record_message(view_only).find("|s1|-|1734254800|"), std::string::npos);
}

TEST(RecordMessage, HandlesAreTrimmedStrippedOfOneSigilAndLowerCased) {
    auto head = [](const Json& handle) {
        Json r = {{"type", "art_gentry"}, {"location", "art"}, {"handle", handle}, {"actor", handle}, {"ts", 5}};
        return ledger::record_message(r);
    };
    const std::string plain = head("alice");
    EXPECT_EQ(plain, "OV1|art_gentry|art|alice|alice|5|visit|5");
    for (const char* same : {"  @Alice ", "ALICE", "$alice", "\t@ alice\n", "@ALICE"}) EXPECT_EQ(head(same), plain) << same;
    for (const char* other : {"@@alice", "al ice", "alice2"}) EXPECT_NE(head(other), plain) << other;
    EXPECT_EQ(head(42), "OV1|art_gentry|art|||5|visit|5");
}

TEST(RecordMessage, PlaceAndTimestampForms) {
    struct Case {
        Json fields;
        std::string place;
        std::string ts;  // as written in the head and again at the end
    };
    const std::vector<Case> cases = {
        {{{"location", " ART "}, {"ts", 10}}, "art", "10"},
        {{{"location", "art"}, {"channel", "Gallery"}, {"ts", 10}}, "gallery", "10"},
        {{{"location", "art"}, {"channel", "  "}, {"ts", 10}}, "art", "10"},
        {{{"location", "art"}, {"channel", 5}, {"ts", 10}}, "art", "10"},
        {{{"location", "art"}, {"ts", "1733650000"}}, "art", "1733650000"},
        {{{"location", "art"}, {"ts", "0017"}}, "art", "17"},
        {{{"location", "art"}, {"ts", "17x"}}, "art", "0"},
        {{{"location", "art"}, {"ts", "-5"}}, "art", "0"},
        {{{"location", "art"}, {"ts", "99999999999999999999"}}, "art", "0"},
        {{{"location", "art"}, {"ts", -5}}, "art", "-"},
        {{{"location", "art"}, {"ts", 12.9}}, "art", "12"},
        {{{"location", "art"}, {"ts", true}}, "art", "0"},
        {{{"location", "art"}}, "art", "0"},
        {{{"ts", 10}}, "", "10"},
    };
    for (const auto& c : cases) {
        Json r = {{"type", "art_gentry"}, {"handle", "a"}, {"actor", "a"}};
        r.update(c.fields);
        EXPECT_EQ(ledger::record_message(r), "OV1|art_gentry|" + c.place + "|a|a|" + c.ts + "|visit|" + c.ts) << r.dump();
    }
}

TEST(RecordMessage, MatchesTheMessagesBuiltByAnIndependentSigner) {
    const Json& f = fixture();
    ASSERT_EQ(f["records"].size(), 3u);
    for (const auto& e : f["records"]) {
        EXPECT_EQ(ledger::record_message(e["record"]), e["message"].get<std::string>());
        EXPECT_TRUE(wallet::verify_message(e["message"].get<std::string>(), e["record"]["pubkey"].get<std::string>(),
                                           e["record"]["sig"].get<std::string>()));
    }
}

// --- serialisation -------------------------------------------------------------------

TEST(RecordText, CompactSortedKeysAndRawUtf8) {
    Json r = show_record();
    r["paymail"] = "alice@x";
    r["pubkey"] = "02";
    r["sig"] = "s";
    const std::string text = ledger::record_text(r);
    EXPECT_EQ(text.find(' '), std::string::npos);
    const std::vector<std::string> order = {"actor", "cert", "cert_utxo", "exp", "handle", "location",
                                            "pay_addr", "paymail", "pic", "pic_utxo", "price", "protocol",
                                            "pubkey", "sha256", "sig", "spot", "ts", "type"};
    std::size_t at = 0;
    for (const auto& key : order) {
        std::size_t found = text.find("\"" + key + "\":", at);
        ASSERT_NE(found, std::string::npos) << key << " out of order in " << text;
        at = found + 1;
    }
    Json nested = {{"b", "Zoë — 🎨"}, {"a", {{"z", 1}, {"B", 2}, {"_", 3}}}};
    EXPECT_EQ(ledger::record_text(nested), "{\"a\":{\"B\":2,\"_\":3,\"z\":1},\"b\":\"Zoë — 🎨\"}");
}

// --- data outputs ----------------------------------------------------------------------

TEST(DataPayload, ReadsOnePushAfterOpReturn) {
    const std::string five = "68656c6c6f";  // "hello"
    std::string long_hex;
    for (int i = 0; i < 300; ++i) long_hex += "ab";
    struct Case {
        const char* name;
        std::string script;
        std::string payload_hex;  // "" = nothing
    };
    const std::vector<Case> cases = {
        {"OP_FALSE OP_RETURN direct push", "006a05" + five, five},
        {"OP_RETURN without OP_FALSE", "6a05" + five, five},
        {"PUSHDATA1", "006a4c05" + five, five},
        {"PUSHDATA2 little-endian length", "006a4d2c01" + long_hex, long_hex},
        {"upper-case hex", "006A05" + std::string("68656C6C6F"), five},
        {"bytes after the push are ignored", "006a05" + five + "0401020304", five},
        {"PUSHDATA4 is not read", "006a4e05000000" + five, ""},
        {"zero-length push", "6a00", ""},
        {"PUSHDATA1 of zero bytes", "006a4c00", ""},
        {"push runs past the end", "006a06" + five, ""},
        {"PUSHDATA1 without its length", "006a4c", ""},
        {"PUSHDATA2 with half its length", "006a4d05", ""},
        {"no push at all", "006a", ""},
        {"two OP_FALSE", "00006a05" + five, ""},
        {"not OP_RETURN", "0076a905" + five, ""},
        {"small-number opcode", "006a51", ""},
        {"odd length", "006a05" + five + "0", ""},
        {"stray character", "006a05" + five.substr(0, 8) + "zz", ""},
        {"too short", "6a", ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        core::Bytes out = {1, 2, 3};
        const bool ok = ledger::data_payload(c.script, out);
        EXPECT_EQ(ok, !c.payload_hex.empty()) << c.name;
        EXPECT_EQ(core::to_hex(out), c.payload_hex) << c.name;
    }
}

TEST(DataPayload, RecordsUpToTheTwoByteLengthComeBackAndLongerOnesDoNot) {
    for (std::size_t size : {1u, 75u, 76u, 255u, 256u, 65535u, 65536u, 70000u}) {
        const std::string payload(size, 'r');
        core::Bytes out;
        const bool ok = ledger::data_payload(script_hex(payload), out);
        EXPECT_EQ(ok, size <= 65535) << size;
        if (ok) {
            EXPECT_EQ(core::to_string(out), payload) << size;
        }
    }
}

TEST(ExtractRecord, FindsTheFirstGalleryRecordAmongTheOutputs) {
    const Json p2pkh = {{"value", 0.0001}, {"scriptPubKey", {{"hex", "76a914" + std::string(40, '0') + "88ac"}}}};
    const std::string first = R"({"protocol":"OV-Art","type":"art_hide","n":1})";
    const std::string second = R"({"protocol":"OV-Art","type":"art_hide","n":2})";
    struct Case {
        const char* name;
        Json tx;
        int n;  // the "n" of the record found, 0 for none
    };
    const std::vector<Case> cases = {
        {"second data output when the first is another protocol",
         tx_with_scripts({p2pkh, data_output(R"({"protocol":"OV-Chat","n":9})"), data_output(second)}), 2},
        {"first of two gallery records", tx_with_scripts({data_output(first), data_output(second)}), 1},
        {"protocol name is case-sensitive", tx_with_scripts({data_output(R"({"protocol":"ov-art","n":3})")}), 0},
        {"text that is not JSON is skipped", tx_with_scripts({data_output("OV-Art {"), data_output(second)}), 2},
        {"a JSON array is not a record", tx_with_scripts({data_output(R"([{"protocol":"OV-Art"}])")}), 0},
        {"outputs without a script object or hex text are skipped",
         tx_with_scripts({Json{{"value", 0}}, Json{{"scriptPubKey", "006a"}}, Json{{"scriptPubKey", {{"hex", 5}}}},
                          Json(7), data_output(first)}),
         1},
        {"only ordinary outputs", tx_with_scripts({p2pkh}), 0},
        {"no vout", Json{{"txid", "x"}}, 0},
        {"vout not an array", Json{{"vout", {{"0", data_output(first)}}}}, 0},
        {"not an object", Json::array({data_output(first)}), 0},
    };
    for (const auto& c : cases) {
        Json found = "left over";
        const bool ok = ledger::extract_record(c.tx, found);
        EXPECT_EQ(ok, c.n != 0) << c.name;
        EXPECT_EQ(ok ? core::json_int(found, "n") : -1, c.n != 0 ? c.n : -1) << c.name;
        if (!ok) {
            EXPECT_TRUE(found.is_null()) << c.name;
        }
    }
}

TEST(ExtractRecord, RoundTripsTheUtf8RecordText) {
    Json r = show_record();
    r["handle"] = "zoë";
    const std::string text = ledger::record_text(r);
    ASSERT_NE(text.find("zo\xc3\xab"), std::string::npos);
    Json found;
    ASSERT_TRUE(ledger::extract_record(tx_with_scripts({data_output(text)}), found));
    EXPECT_EQ(found, r);
}

// --- verification ----------------------------------------------------------------------

class VerifyRecord : public ::testing::Test {
protected:
    FakeRegistry registry;
    testing_support::FakeClock clock;
    std::string fixture_key = fixture()["public_key"].get<std::string>();

    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
        registry.set_alias("carol", fixture_key);
    }
    void TearDown() override { ledger::reset_identity_caches(); }
};

TEST_F(VerifyRecord, AcceptsRecordsSignedByAnIndependentLibrary) {
    for (const auto& e : fixture()["records"]) EXPECT_TRUE(ledger::verify_record(e["record"])) << e["record"]["type"];
    EXPECT_EQ(registry.hits("alias"), 1);  // one actor, one lookup
}

TEST_F(VerifyRecord, RejectsACorrectSignatureByAKeyThatIsNotTheActorsIdentity) {
    Json r = fixture_record("art_show");
    // Correctly signed, but the registry names someone else's key for carol.
    registry.set_alias("carol", "02f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a");
    EXPECT_FALSE(ledger::verify_record(r));
    // The same record claiming an actor nobody registered.
    ledger::reset_identity_caches();
    Json dave = r;
    dave["actor"] = "dave";
    dave["handle"] = "dave";
    EXPECT_FALSE(ledger::verify_record(sign_locally(dave)));
}

TEST_F(VerifyRecord, KeyFormsAreComparedCompressedAndLowerCase) {
    Json r = fixture_record("art_show");
    Json uncompressed = r;
    uncompressed["pubkey"] = fixture()["public_key_uncompressed"];
    EXPECT_TRUE(ledger::verify_record(uncompressed));
    Json prefixed = r;
    prefixed["pubkey"] = "0X" + core::lower_ascii(fixture_key);
    for (char& c : prefixed["pubkey"].get_ref<std::string&>()) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ledger::verify_record(prefixed));
    // A registry that answers the uncompressed form under the other spelling.
    ledger::reset_identity_caches();
    registry.set_alias_reply("carol", {{"publicKey", fixture()["public_key_uncompressed"]}});
    EXPECT_TRUE(ledger::verify_record(r));
}

TEST_F(VerifyRecord, PayloadValuesAreBoundAndOnlySomeFieldsKeepTheirCase) {
    Json show = sign_locally([] {
        Json r = show_record();
        r["actor"] = "carol";
        r["handle"] = "carol";
        r["price"] = "Ask";  // letters, so that its case can be changed
        return r;
    }());
    const Json ask = fixture_record("art_gask");
    ASSERT_TRUE(ledger::verify_record(show));
    ASSERT_TRUE(ledger::verify_record(ask));
    struct Case {
        const char* name;
        const Json* base;
        const char* key;
        Json value;
        bool verifies;
    };
    std::string upper_pic = ask["pic"].get<std::string>();
    for (char& ch : upper_pic) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::vector<Case> cases = {
        {"pic in upper case", &ask, "pic", upper_pic, true},
        {"display pic in upper case", &show, "pic", "P1", true},
        {"display coin id in upper case", &show, "cert_utxo", "CU_1", true},
        {"spot in upper case", &show, "spot", "AS3", true},
        {"buyer key in upper case", &ask, "buyer", "03FD8098FCD2A580D79666403C0B9EA698EC81622D5882802D39E9276CE0C18FE3",
         true},
        {"handle with sigil and capitals", &show, "handle", " @Carol ", true},
        {"unsigned member changed", &show, "paymail", "elsewhere@x", true},
        {"pic changed", &ask, "pic", std::string(64, 'f'), false},
        {"price case", &show, "price", "ASK", false},
        {"pay_addr case", &show, "pay_addr", "1payaddr", false},
        {"buyer_ord case", &ask, "buyer_ord", "1boatslrhtknngkdxeeobr76b53lettpyt", false},
        {"price_sats changed", &ask, "price_sats", 1501, false},
        {"exp changed", &show, "exp", 1734254801, false},
        {"ts changed", &ask, "ts", 1733650101, false},
        {"type changed", &show, "type", "art_hide", false},
    };
    for (const auto& c : cases) {
        Json r = *c.base;
        r[c.key] = c.value;
        EXPECT_EQ(ledger::verify_record(r), c.verifies) << c.name;
    }
}

TEST_F(VerifyRecord, EnvelopeRules) {
    const Json good = fixture_record("art_gentry");
    ASSERT_TRUE(ledger::verify_record(good));
    auto changed = [&](const std::function<void(Json&)>& edit) {
        Json r = good;
        edit(r);
        return r;
    };
    struct Case {
        const char* name;
        Json record;
        bool verifies;
    };
    const std::string pub = good["pubkey"].get<std::string>();
    const std::string sig = good["sig"].get<std::string>();
    const std::vector<Case> cases = {
        {"other protocol", changed([](Json& r) { r["protocol"] = "OV-Chat"; }), false},
        {"protocol in other case", changed([](Json& r) { r["protocol"] = "ov-art"; }), false},
        {"app location", sign_locally(changed([](Json& r) { r["location"] = "app"; })), false},
        {"no location but a channel", sign_locally(changed([](Json& r) {
             r.erase("location");
             r["channel"] = "art";
         })),
         true},
        {"no location, no channel", sign_locally(changed([](Json& r) { r.erase("location"); })), false},
        {"empty handle", sign_locally(changed([](Json& r) { r["handle"] = ""; })), false},
        {"actor missing", sign_locally(changed([](Json& r) { r.erase("actor"); })), false},
        {"type not text", sign_locally(changed([](Json& r) { r["type"] = 1; })), false},
        {"zero ts", sign_locally(changed([](Json& r) { r["ts"] = 0; })), false},
        {"negative ts", sign_locally(changed([](Json& r) { r["ts"] = -1; })), false},
        {"ts as digit text", sign_locally(changed([](Json& r) { r["ts"] = "1733650200"; })), true},
        {"no pubkey", changed([](Json& r) { r.erase("pubkey"); }), false},
        {"no sig", changed([](Json& r) { r.erase("sig"); }), false},
        {"other spellings", changed([&](Json& r) {
             r.erase("pubkey");
             r.erase("sig");
             r["publicKey"] = pub;
             r["signature"] = sig;
         }),
         true},
        {"pubkey wins over publicKey", changed([](Json& r) { r["publicKey"] = "02" + std::string(64, '1'); }), true},
        {"a bad pubkey is not rescued by publicKey", changed([&](Json& r) {
             r["publicKey"] = pub;
             r["pubkey"] = "02" + std::string(64, '1');
         }),
         false},
        {"sig of another message", changed([](Json& r) { r["sig"] = fixture_record("art_show")["sig"]; }), false},
        {"not an object", Json::array({good}), false},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::verify_record(c.record), c.verifies) << c.name;
}

TEST_F(VerifyRecord, AFailedLookupFailsTheRecordUntilOneSucceeds) {
    const Json r = fixture_record("art_show");
    registry.set_down(true);
    EXPECT_FALSE(ledger::verify_record(r));
    EXPECT_FALSE(ledger::verify_record(r));
    // Nothing was kept from the failures: each asked (and retried twice) again.
    EXPECT_EQ(registry.hits("alias"), 6);
    registry.set_down(false);
    EXPECT_TRUE(ledger::verify_record(r));
    EXPECT_TRUE(ledger::verify_record(r));
    EXPECT_EQ(registry.hits("alias"), 7);
}

// --- signing with the wallet -------------------------------------------------------------

class SignRecord : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeRegistry registry;
    testing_support::FakeClock clock;
    std::string key;

    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test", {.paymail = "Alice"}));
        key = wallet::wallet_identity_key();
        ASSERT_EQ(key.size(), 66u);
        registry.set_alias("alice", key);
    }
    void TearDown() override {
        ledger::reset_identity_caches();
        wallet::forget_wallet();
    }

    Json gentry(Json ts) {
        Json r = {{"protocol", "OV-Art"}, {"type", "art_gentry"}, {"location", "art"}, {"handle", "Alice"}};
        if (!ts.is_null()) r["ts"] = ts;
        return r;
    }
};

TEST_F(SignRecord, CompletesTheRecordAndItVerifies) {
    Json r = gentry(1733640000);
    std::string error = "stale";
    ASSERT_TRUE(ledger::sign_record(r, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(r["actor"], "Alice");
    EXPECT_EQ(r["handle"], "Alice");
    EXPECT_EQ(r["paymail"], std::string("Alice@") + ledger_test::DOMAIN);
    EXPECT_EQ(r["pubkey"], key);
    EXPECT_EQ(r["sig"].get<std::string>().size(), 88u);
    EXPECT_TRUE(wallet::verify_message("OV1|art_gentry|art|alice|alice|1733640000|visit|1733640000", key,
                                       r["sig"].get<std::string>()));
    EXPECT_TRUE(ledger::verify_record(r));
}

TEST_F(SignRecord, KeepsANumericTimestampAndReplacesAnyOther) {
    struct Case {
        Json ts;
        std::int64_t expect;
    };
    const std::int64_t now = clock.wall / 1000;
    for (const Case& c : {Case{1700000000, 1700000000}, Case{"1700000000", now}, Case{nullptr, now},
                          Case{Json::array(), now}, Case{true, now}}) {
        Json r = gentry(c.ts);
        if (c.ts.is_null()) r["ts"] = nullptr;
        std::string error;
        ASSERT_TRUE(ledger::sign_record(r, error)) << error;
        ASSERT_TRUE(r["ts"].is_number_integer()) << c.ts.dump();
        EXPECT_EQ(r["ts"].get<std::int64_t>(), c.expect) << c.ts.dump();
    }
    Json absent = gentry(nullptr);
    std::string error;
    ASSERT_TRUE(ledger::sign_record(absent, error));
    EXPECT_EQ(absent["ts"], now);
}

TEST_F(SignRecord, FillsAMissingHandleAndDropsStaleKeySpellings) {
    Json r = {{"protocol", "OV-Art"}, {"type", "art_hide"}, {"location", "art"}, {"spot", "as1"},
              {"publicKey", "02" + std::string(64, '1')}, {"signature", "old"}};
    std::string error;
    ASSERT_TRUE(ledger::sign_record(r, error)) << error;
    EXPECT_EQ(r["handle"], "Alice");
    EXPECT_FALSE(r.contains("publicKey"));
    EXPECT_FALSE(r.contains("signature"));
}

TEST_F(SignRecord, FailuresLeaveTheRecordAsItWas) {
    const Json before = gentry(1733640000);
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"handle not registered", [&] { registry.set_alias_reply("alice", {{"error", "x"}}); },
         std::string("identity signature did not verify against ") + ledger_test::PLATFORM + " PKI"},
        {"registry names another key",
         [&] { registry.set_alias("alice", "03f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a"); },
         std::string("identity signature did not verify against ") + ledger_test::PLATFORM + " PKI"},
        {"wallet without a handle",
         [&] {
             tp.write("orvane_paymail.json", "{}");  // nor one to find for its key
             ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test"));
         },
         "Connect Wendrel"},
        {"no wallet bound", [&] {
             wallet::remove_binding();
             wallet::forget_wallet();
         },
         "Connect Wendrel"},
    };
    for (const auto& c : cases) {
        ledger::reset_identity_caches();
        c.arrange();
        Json r = before;
        std::string error;
        EXPECT_FALSE(ledger::sign_record(r, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(r, before) << c.name;
        EXPECT_EQ(ledger::post_record(r, ledger::frame_row(1).watch_address, "", 0), "error: " + c.error) << c.name;
    }
}

TEST_F(SignRecord, ARecordThatIsNotAnObjectCannotBeSigned) {
    Json r = Json::array({1});
    std::string error = "stale";
    EXPECT_FALSE(ledger::sign_record(r, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(ledger::post_record(r, ledger::frame_row(1).watch_address, "", 0), "error: could not sign");
}
