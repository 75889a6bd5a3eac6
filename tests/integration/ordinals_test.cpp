// The wallet's ordinals against the devnet: artworks and certificates listed with their
// kinds, content from the ordinals host or WhatsOnChain's raw transaction, caches that
// answer without the network, the inbox, and credentials found through the issuer.
#include <gtest/gtest.h>

#include "chain/posting.h"
#include "chain/tx.h"
#include "core/base64.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ordinals/caches.h"
#include "ordinals/content.h"
#include "ordinals/inbox.h"
#include "ordinals/kind_lookup.h"
#include "ordinals/listing.h"
#include "ordinals/snapshot.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON;
using testing_support::ABANDON_ORDINALS0;
using testing_support::ABANDON_RECEIVE0;
using testing_support::Devnet;

namespace {

const std::string PICTURE = std::string("\x89PNG\r\n\x1a\n", 8) + "a small picture";

class Ordinals : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    std::string error;  // of the last content read

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ordinals::reset_cache_state();
        ordinals::reset_list_cache();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ordinals-test"));
        ASSERT_EQ(wallet::wallet_state().ordinals_address, ABANDON_ORDINALS0);
    }
    void TearDown() override {
        dn.clear_faults();
        ordinals::reset_list_cache();
    }

    std::string inscribe(const std::string& type, const std::string& bytes, const core::Json& map) {
        core::Json body = {{"address", ABANDON_ORDINALS0}, {"contentType", type}, {"contentBase64", core::base64_encode(bytes)}};
        if (!map.is_null()) body["map"] = map;
        return core::json_string(dn.post("/devnet/inscribe", body), "origin");
    }
    // Every request whose path matches pattern fails with 500 until the faults are cleared.
    void fail(const std::string& pattern) {
        dn.fault({{"method", "*"}, {"pathRegex", pattern}, {"status", 500}, {"body", "down"}, {"count", 1000}});
    }
    const ordinals::OvWendrelOrdRow* find(const std::vector<ordinals::OvWendrelOrdRow>& rows, const std::string& origin) {
        for (const auto& r : rows)
            if (r.origin == origin) return &r;
        return nullptr;
    }
    core::Json certificate(const std::string& pic) {
        return {{"pic", pic},
                {"sha256", core::to_hex(core::sha256(PICTURE))},
                {"title", "Blue Dot"},
                {"artist_name", "Ada"},
                {"created", "2024-12-01"},
                {"note", "first of three"},
                {"owner_paymail", "ada@devnet.quenvale.test"}};
    }
};

}  // namespace

TEST_F(Ordinals, ArtworkAndCertificateAreListedWithTheirKinds) {
    const std::string long_name(60, 'D');
    std::string art = inscribe("image/png", PICTURE, {{"app", "ZuvAdudurero"}, {"name", long_name}});
    ASSERT_FALSE(art.empty());
    std::string cert = inscribe("application/json", core::dump_compact(certificate(art)),
                                {{"app", "ZuvAdudurero"}, {"name", "Blue Dot certificate"}});
    std::string note = inscribe("text/plain", "just words", {{"app", "ZuvAdudurero"}, {"name", "Note"}});
    std::string foreign = inscribe("image/png", PICTURE, {{"app", "SomeOtherApp"}, {"name", "Theirs"}});
    ASSERT_FALSE(cert.empty());
    ASSERT_FALSE(note.empty());

    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(ordinals::ov_wendrel_list_ordinals(rows, true, false), "");
    ASSERT_EQ(rows.size(), 4u);
    struct Want {
        std::string origin, kind, name, type;
    };
    std::vector<Want> wants = {
        {art, "Artwork", std::string(48, 'D'), "image/png"},
        {cert, "Certificate", "Blue Dot certificate", "application/json"},
        {note, "", "Note", "text/plain"},
        {foreign, "", "Theirs", "image/png"},
    };
    for (const auto& w : wants) {
        SCOPED_TRACE(w.origin);
        const auto* r = find(rows, w.origin);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->kind, w.kind);
        EXPECT_EQ(r->name, w.name);
        EXPECT_EQ(r->content_type, w.type);
        EXPECT_EQ(r->address, ABANDON_ORDINALS0);
        EXPECT_EQ(r->satoshis, 1);
        EXPECT_EQ(r->txid, w.origin.substr(0, 64));
    }
    EXPECT_EQ(ordinals::inscription_kind(art), "Artwork");
    EXPECT_EQ(ordinals::inscription_kind(cert), "Certificate");
    EXPECT_EQ(ordinals::inscription_kind(note), "");
    EXPECT_EQ(ordinals::kind_cache_read(art), "Artwork");  // the lookup stored it

    // The owned list and the snapshot now hold all four.
    core::Json doc;
    ASSERT_TRUE(core::parse_json(tp.read("wallets/w1/wallet.json"), doc));
    EXPECT_EQ(doc["ord_owned"].size(), 4u);
    EXPECT_EQ(doc["mnemonic"], ABANDON);  // the rest of the document is kept
    ordinals::Snapshot snap;
    ASSERT_TRUE(ordinals::read_snapshot("w1", snap));
    EXPECT_EQ(snap.lots.size(), 4u);

    // Once the index moves on, a cached read still has them; a place-list asks again.
    fail("^/ord/api/txos/address/");
    std::vector<ordinals::OvWendrelOrdRow> cached;
    ASSERT_EQ(ordinals::wallet_ordinals(cached), "");
    EXPECT_EQ(cached.size(), 4u);
}

TEST_F(Ordinals, ContentFromTheHostThenFromTheRawTransaction) {
    std::string art = inscribe("image/png", PICTURE, {{"app", "ZuvAdudurero"}, {"name", "Dot"}});
    std::string cert = inscribe("application/json", core::dump_compact(certificate(art)), {{"app", "ZuvAdudurero"}, {"name", "Dot cert"}});
    ASSERT_FALSE(art.empty());
    ASSERT_FALSE(cert.empty());

    ordinals::Content c;
    ASSERT_TRUE(ordinals::read_content(art, true, true, c, error));
    EXPECT_EQ(c.bytes, PICTURE);
    EXPECT_EQ(c.type, "image/png");  // sniffed from the host's bytes

    // The host fails: the raw transaction has it. Its JSON, which cuts long scripts, is
    // not asked for one.
    const std::string txid = cert.substr(0, 64);
    fail("^/ord/");
    fail("^/woc/v1/bsv/main/tx/" + txid + "$");
    ASSERT_TRUE(ordinals::read_content(cert, true, true, c, error));
    EXPECT_EQ(c.bytes, core::dump_compact(certificate(art)));
    EXPECT_EQ(c.type, "application/json");  // from the envelope
    EXPECT_EQ(ordinals::name_cache_read(cert), "Dot cert");
    core::Json parsed;
    ASSERT_TRUE(core::parse_json(c.bytes, parsed));
    EXPECT_EQ(parsed["pic"], art);
    core::Json faults = dn.get("/devnet/faults");
    ASSERT_EQ(faults["faults"].size(), 2u);
    EXPECT_GE(faults["faults"][0]["fired"].get<int>(), 1);
    EXPECT_EQ(faults["faults"][1]["fired"].get<int>(), 0);

    // With every service down, both are read back from the caches.
    fail(".*");
    for (const auto& o : {art, cert}) {
        ordinals::Content again;
        EXPECT_TRUE(ordinals::read_content(o, true, true, again, error)) << o;
        EXPECT_TRUE(ordinals::read_content(o, false, true, again, error)) << o;
    }
    ASSERT_TRUE(ordinals::read_content(art, false, false, c, error));
    EXPECT_EQ(c.bytes, PICTURE);
    // Nothing cached and nothing reachable: no content.
    ordinals::Content none;
    EXPECT_FALSE(ordinals::read_content(std::string(64, 'e'), true, true, none, error));
    EXPECT_FALSE(ordinals::read_content("../../x", true, true, none, error));
}

TEST_F(Ordinals, TheInboxListsWhatTheIndexHasNotShownYet) {
    std::string art = inscribe("image/png", PICTURE, {{"app", "ZuvAdudurero"}});
    ASSERT_FALSE(art.empty());
    // The index has not caught up with this address yet.
    dn.fault({{"method", "GET"}, {"pathRegex", std::string("^/ord/api/txos/address/") + ABANDON_ORDINALS0 + "/unspent"},
              {"status", 200}, {"body", core::Json::array()}, {"count", 1000}});
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(ordinals::ov_wendrel_list_ordinals(rows, true, false), "");
    EXPECT_EQ(find(rows, art), nullptr);

    // Another wallet on this computer sent it and says so; an entry naming a transaction
    // the chain has never seen is in the same inbox.
    core::Bytes h;
    ASSERT_TRUE(wallet::hash160_from_address(ABANDON_ORDINALS0, h));
    ordinals::inbox_deliver(h, art, "image/png", "Gift from w2", "", "", ABANDON_ORDINALS0, PICTURE);
    const std::string phantom = std::string(64, '7') + "_0";
    ordinals::inbox_deliver(h, phantom, "image/png", "Never sent", "", "", ABANDON_ORDINALS0, "");
    ASSERT_EQ(ordinals::ov_wendrel_list_ordinals(rows, true, false), "");
    EXPECT_EQ(find(rows, phantom), nullptr);
    const auto* r = find(rows, art);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "Gift from w2");
    EXPECT_EQ(r->kind, "Artwork");  // the index's txo of that output says so
    EXPECT_EQ(r->address, ABANDON_ORDINALS0);
    EXPECT_TRUE(ordinals::known_local_txids({ABANDON_ORDINALS0}).count(art.substr(0, 64)));
    ordinals::Content c;
    ASSERT_TRUE(ordinals::read_content(art, false, true, c, error));
    EXPECT_EQ(c.bytes, PICTURE);
}

TEST_F(Ordinals, CredentialsIssuedThroughThePlatform) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 30000, true).empty());
    const std::string issuer = core::profile().credential_issuer_address;
    ASSERT_FALSE(issuer.empty());
    std::string identity_pub;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        identity_pub = wallet::wallet_state().identity_pub;
    }
    core::Json cred = {{"protocol", "OV-Identity"}, {"type", "id_issue"}, {"kind", "id_age"}, {"subject", identity_pub}};
    std::string content = core::dump_compact(cred);
    // Envelope then the lock to the ordinals address: the layout the issuer writes.
    core::Bytes script = {0x00, 0x63};
    chain::push_data(script, core::to_bytes("ord"));
    script.push_back(0x51);
    chain::push_data(script, core::to_bytes("application/json"));
    script.push_back(0x00);
    chain::push_data(script, core::to_bytes(content));
    script.push_back(0x68);
    core::Bytes h, issuer_hash;
    ASSERT_TRUE(wallet::hash160_from_address(ABANDON_ORDINALS0, h));
    ASSERT_TRUE(wallet::hash160_from_address(issuer, issuer_hash));
    core::Bytes lock = wallet::p2pkh_script(h);
    script.insert(script.end(), lock.begin(), lock.end());
    std::string paid;
    {
        wallet::WalletLock guard(wallet::wallet_mutex());
        paid = chain::pay_outputs({chain::TxOutput{1, script}, chain::TxOutput{1000, wallet::p2pkh_script(issuer_hash)}}, {});
    }
    ASSERT_EQ(paid.rfind("success: ", 0), 0u) << paid;
    const std::string txid = paid.substr(9);

    // Hide it from the ordinals index: only the issuer's history leads to it.
    dn.fault({{"method", "GET"}, {"pathRegex", "^/ord/api/txos/address/"}, {"status", 200}, {"body", core::Json::array()},
              {"count", 1000}});
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(ordinals::ov_wendrel_list_ordinals(rows, true, false), "");
    const auto* r = find(rows, txid + "_0");
    ASSERT_TRUE(r) << "rows: " << rows.size();
    EXPECT_TRUE(r->credential);
    EXPECT_EQ(r->kind, "");
    EXPECT_EQ(r->name, "ID-age");
    EXPECT_EQ(r->content_type, "application/json");
    ordinals::Content c;
    ASSERT_TRUE(ordinals::read_content(txid + "_0", false, true, c, error));
    EXPECT_EQ(c.bytes, content);
}
