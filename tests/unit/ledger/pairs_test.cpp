// Certificates, signed pairs and title chains against an in-process chain service: the
// OCP and OAO histories are posted as signed records, certificates served by the
// ordinals host, so the readers run their own requests and checks.
#include "ledger/pairs.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/profile.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ordinals/caches.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_chain.h"
#include "tests/unit/ledger/fake_registry.h"
#include "wallet/document.h"
#include "wallet/registry.h"

namespace {

using ledger_test::FakeChain;
using ledger_test::TestKey;

constexpr std::int64_t T0 = 1733650000;

// A distinct 64-character id per (letter, number), so cases never share a cache entry.
std::string id64(char c, int n) {
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", n);
    return std::string(56, c) + tail;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class Pairs : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeChain chain;
    testing_support::FakeClock clock;
    TestKey alice = ledger_test::test_key(1, "alice");
    TestKey bob = ledger_test::test_key(2, "bob");
    TestKey mallory = ledger_test::test_key(3, "mallory");
    std::string ocp, oao;

    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        for (const auto* k : {&alice, &bob, &mallory}) chain.register_key(*k);
        ocp = core::profile().ocp_address;
        oao = core::profile().oao_address;
    }
    void TearDown() override {
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        wallet::forget_wallet();
    }

    // A certificate as minting writes it: the picture, its hash and its maker's paymail.
    static std::string cert_json(const std::string& pic, const std::string& sha, const std::string& maker = "alice") {
        return core::dump_compact(core::Json{
            {"pic", pic}, {"sha256", sha}, {"title", "Dusk"}, {"owner_paymail", maker + "@devnet.quenvale.test"}});
    }
    static core::Json pair(const std::string& pic, const std::string& cert, const std::string& sha,
                           const std::string& owner, std::int64_t ts) {
        return {{"type", "art_pair"}, {"pic", pic}, {"cert", cert}, {"sha256", sha}, {"owner", owner}, {"ts", ts}};
    }
    static core::Json owner_rec(const std::string& pic, const std::string& owner, const std::string& prev,
                                std::int64_t ts) {
        return {{"type", "art_owner"}, {"pic", pic}, {"cert", id64('c', 0)}, {"owner", owner}, {"prev", prev},
                {"ts", ts}};
    }
    // A pair on the OCP address paying both addresses, as an issuer posts it.
    std::string post_pair(const std::string& pic, const std::string& cert, const std::string& sha, const TestKey& k,
                          std::int64_t ts) {
        return chain.post("ocp", pair(pic, cert, sha, k.pub, ts), k, {ocp, oao});
    }
};

// --- pays-address test --------------------------------------------------------------

TEST(PaysAddress, OutputsDecideAndMissingAddressesPass) {
    auto out = [](const core::Json& spk, const core::Json& value) {
        core::Json o = {{"n", 0}, {"scriptPubKey", spk}};
        o.update(value);
        return o;
    };
    const core::Json to_a = {{"addresses", {"1A"}}};
    struct Case {
        const char* name;
        core::Json tx;
        bool pays;
    };
    const std::vector<Case> cases = {
        {"value in BSV", {{"vout", {out(to_a, {{"value", 0.00000001}})}}}, true},
        {"valueSat wins over value", {{"vout", {out(to_a, {{"valueSat", 0}, {"value", 1.0}})}}}, false},
        {"valueSat positive", {{"vout", {out(to_a, {{"valueSat", 546}})}}}, true},
        {"zero sats", {{"vout", {out(to_a, {{"value", 0}})}}}, false},
        {"value below half a sat", {{"vout", {out(to_a, {{"value", 0.000000004}})}}}, false},
        {"address as a string", {{"vout", {out({{"address", "1A"}}, {{"value", 0.1}})}}}, true},
        {"another address", {{"vout", {out({{"addresses", {"1B"}}}, {{"value", 0.1}})}}}, false},
        {"no output carries an address", {{"vout", {out({{"hex", "6a"}}, {{"value", 0}})}}}, true},
        {"empty vout", {{"vout", core::Json::array()}}, true},
        {"no vout", {{"txid", std::string(64, '1')}}, false},
        {"vout not an array", {{"vout", "1A"}}, false},
        {"not an object", core::Json::array(), false},
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::pays_address(c.tx, "1A"), c.pays) << c.name;
}

// --- certificates -------------------------------------------------------------------

TEST_F(Pairs, CertificatesAreReadFromTheirOwnOutput) {
    struct Case {
        const char* name;
        std::string served_at;  // origin the host has content for ("" = none)
        std::string content;
        std::function<std::string(const std::string&)> ask;  // from the bare id
        std::string error;                                   // "" = read
    };
    const std::string obj = cert_json(id64('a', 1), std::string(64, '5'));
    const std::vector<Case> cases = {
        {"bare id reads output 0", "_0", obj, [](const std::string& id) { return id; }, ""},
        {"spaces and capitals", "_0", obj, [](const std::string& id) { return "  " + upper(id) + "\n"; }, ""},
        {"coin form reads that output", "_3", obj, [](const std::string& id) { return id + "_3"; }, ""},
        {"coin form is not output 0", "_0", obj, [](const std::string& id) { return id + "_3"; },
         "could not read that inscription"},
        {"nothing served", "", "", [](const std::string& id) { return id; }, "could not read that inscription"},
        {"empty content", "_0", "", [](const std::string& id) { return id; }, "could not read that inscription"},
        {"not an id", "_0", obj, [](const std::string& id) { return id.substr(1); }, "could not read that inscription"},
        {"not JSON", "_0", "just a picture", [](const std::string& id) { return id; },
         "that inscription is not a certificate"},
        {"JSON but not an object", "_0", "[1,2]", [](const std::string& id) { return id; },
         "that inscription is not a certificate"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string cert = id64('c', ++n);
        if (!c.served_at.empty()) chain.put_content(cert + c.served_at, c.content);
        ledger::Certificate got;
        std::string error = "unset";
        const bool ok = ledger::read_certificate(c.ask(cert), got, error);
        EXPECT_EQ(ok, c.error.empty()) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(got != nullptr, ok) << c.name;
        if (ok && got) {
            EXPECT_EQ(core::json_string(*got, "title"), "Dusk") << c.name;
        }
    }
}

TEST_F(Pairs, CertificateContentIsKeptAndAMissOnlyForAWhile) {
    const std::string cert = id64('c', 1), missing = id64('c', 2);
    chain.put_content(cert + "_0", cert_json(id64('a', 1), std::string(64, '5')));
    ledger::Certificate got;
    std::string error;
    ASSERT_TRUE(ledger::read_certificate(cert, got, error));
    EXPECT_FALSE(ledger::read_certificate(missing, got, error));
    const int asked = chain.hits("content");
    ASSERT_TRUE(ledger::read_certificate(cert, got, error));
    EXPECT_FALSE(ledger::read_certificate(missing, got, error));
    EXPECT_EQ(chain.hits("content"), asked);  // neither asked again at once

    // An inscription whose content arrives later is read once the miss has aged.
    chain.put_content(missing + "_0", cert_json(id64('a', 2), std::string(64, '5')));
    clock.advance(ledger::HISTORY_FRESH_MS);
    EXPECT_TRUE(ledger::read_certificate(missing, got, error)) << error;
    EXPECT_TRUE(ledger::read_certificate(cert, got, error));
    EXPECT_EQ(chain.hits("content"), asked + 1);
}

TEST_F(Pairs, ContentThatIsNoCertificateIsNotKept) {
    // A host that once answers with something else than the inscription (an error page
    // sent with a 200) must not spoil the certificate for good.
    const std::string cert = id64('c', 7);
    chain.put_content(cert + "_0", "<html>gateway busy</html>");
    ledger::Certificate got;
    std::string error;
    EXPECT_FALSE(ledger::read_certificate(cert, got, error));
    EXPECT_EQ(error, "that inscription is not a certificate");
    ordinals::Content cached;
    EXPECT_FALSE(ordinals::content_cache_read(cert + "_0", cached)) << "kept: " << cached.bytes;

    chain.put_content(cert + "_0", cert_json(id64('a', 7), std::string(64, '5')));
    clock.advance(ledger::HISTORY_FRESH_MS);
    ledger::reset_identity_caches();
    EXPECT_TRUE(ledger::read_certificate(cert, got, error)) << error;
    EXPECT_TRUE(ordinals::content_cache_read(cert + "_0", cached));
}

// --- check_pair ---------------------------------------------------------------------

TEST_F(Pairs, CheckPairAcceptsOnlyAMatchingSignedPair) {
    struct Case {
        const char* name;
        std::string cert_content;  // "" = the certificate is not served
        std::function<void(const std::string& pic, const std::string& cert, const std::string& sha)> post;
        std::string error;  // "" = found
    };
    const std::string sha = std::string(64, '5');
    const std::vector<Case> cases = {
        {"signed pair paying both addresses", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) { post_pair(p, c, s, alice, T0); }, ""},
        {"owner written in capitals", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) {
             chain.post("ocp", pair(p, c, s, upper(alice.pub), T0), alice, {ocp, oao});
         },
         ""},
        {"outputs without addresses pass", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) {
             chain.post("ocp", pair(p, c, s, alice.pub, T0), alice, {});
         },
         ""},
        {"not served", "",
         [&](const std::string& p, const std::string& c, const std::string& s) { post_pair(p, c, s, alice, T0); },
         "could not read that inscription"},
        {"certificate without pic", "nopic",
         [&](const std::string& p, const std::string& c, const std::string& s) { post_pair(p, c, s, alice, T0); },
         "That inscription is not a certificate."},
        {"certificate hash of 63", "shortsha", [&](const std::string&, const std::string&, const std::string&) {},
         "That inscription is not a certificate."},
        {"no pair posted", "pair", [&](const std::string&, const std::string&, const std::string&) {},
         "No signed OCP pair matches this certificate and artwork."},
        {"owner is not the signer", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) {
             chain.post("ocp", pair(p, c, s, bob.pub, T0), alice, {ocp, oao});
         },
         "No signed OCP pair matches this certificate and artwork."},
        {"signed by someone the certificate does not name", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) { post_pair(p, c, s, mallory, T0); },
         "No signed OCP pair matches this certificate and artwork."},
        {"does not pay the OAO address", "pair",
         [&](const std::string& p, const std::string& c, const std::string& s) {
             chain.post("ocp", pair(p, c, s, alice.pub, T0), alice, {ocp});
         },
         "No signed OCP pair matches this certificate and artwork."},
        {"another hash", "pair",
         [&](const std::string& p, const std::string& c, const std::string&) {
             post_pair(p, c, std::string(64, '6'), alice, T0);
         },
         "No signed OCP pair matches this certificate and artwork."},
        {"another artwork", "pair",
         [&](const std::string&, const std::string& c, const std::string& s) { post_pair(id64('f', 99), c, s, alice, T0); },
         "No signed OCP pair matches this certificate and artwork."},
    };
    int n = 0;
    for (const auto& c : cases) {
        ++n;
        ledger::reset_wall_caches();
        const std::string pic = id64('a', n), cert = id64('c', n);
        std::string content;
        if (c.cert_content == "pair") content = cert_json(upper(pic), upper(sha));
        if (c.cert_content == "nopic") content = R"({"sha256":")" + sha + R"("})";
        if (c.cert_content == "shortsha") content = cert_json(pic, sha.substr(1));
        if (!content.empty()) chain.put_content(cert + "_0", content);
        c.post(pic, cert, sha);
        const ledger::PairCheck r = ledger::check_pair(" " + upper(cert) + " ");
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(r.found, c.error.empty()) << c.name;
        if (!r.found) continue;
        EXPECT_EQ(r.cert, cert) << c.name;
        EXPECT_EQ(r.pic, pic) << c.name;
        EXPECT_EQ(r.sha256, sha) << c.name;
        EXPECT_EQ(r.owner, alice.pub) << c.name;
        EXPECT_FALSE(r.title_is_mine) << c.name;  // no wallet bound
    }
    EXPECT_EQ(ledger::check_pair("   ").error, "Pick a certificate.");
}

TEST_F(Pairs, CheckPairTakesTheRootAndTheTitlesOwner) {
    const std::string pic = id64('a', 1), cert = id64('c', 1), sha = std::string(64, '5');
    chain.put_content(cert + "_0", cert_json(pic, sha));
    post_pair(pic, cert, sha, alice, T0 - 50);  // posted first, later in time: not the root
    const std::string root = post_pair(pic, cert, sha, alice, T0 - 100);
    ledger::PairCheck r = ledger::check_pair(cert);
    ASSERT_TRUE(r.found) << r.error;
    EXPECT_EQ(r.pair_txid, root);
    EXPECT_EQ(r.owner, alice.pub);

    // The title moved to this wallet's identity: it is the owner and the title is ours.
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test"));
    const std::string me = wallet::wallet_identity_key();
    ASSERT_FALSE(me.empty());
    chain.post("oao", owner_rec(pic, me, root, T0 - 40), alice, {oao});
    ledger::reset_wall_caches();
    r = ledger::check_pair(cert);
    ASSERT_TRUE(r.found) << r.error;
    EXPECT_EQ(r.owner, ledger::normalise_key(me));
    EXPECT_TRUE(r.title_is_mine);

}

TEST_F(Pairs, AnUnreadableOcpHistoryIsTheError) {
    const std::string pic = id64('a', 1), cert = id64('c', 1), sha = std::string(64, '5');
    chain.put_content(cert + "_0", cert_json(pic, sha));
    // The indexer answering with no ids is not enough to call the address empty.
    chain.set_source_down(ocp, true);
    EXPECT_EQ(ledger::check_pair(cert).error, "OI ocp missed and WhatsOnChain missed");
    EXPECT_EQ(ledger::find_pair(pic).error, "OI ocp missed and WhatsOnChain missed");
    // WhatsOnChain answering with no ids is.
    chain.set_source_down(ocp, false);
    chain.set_source_down("ocp", true);
    ledger::reset_wall_caches();
    EXPECT_EQ(ledger::check_pair(cert).error, "No signed OCP pair matches this certificate and artwork.");
}

// --- find_pair ----------------------------------------------------------------------

TEST_F(Pairs, FindPairFollowsTheRootPairThatPaysBothAddresses) {
    const std::string pic = id64('a', 1), sha = std::string(64, '5');
    const std::string old_cert = id64('c', 1), new_cert = id64('c', 2), stray_cert = id64('c', 3);
    for (const auto& c : {old_cert, new_cert, stray_cert}) chain.put_content(c + "_0", cert_json(pic, sha));
    post_pair(pic, new_cert, sha, alice, T0 - 50);
    post_pair(pic, old_cert, sha, alice, T0 - 100);
    chain.post("ocp", pair(pic, stray_cert, sha, alice.pub, T0 - 10), alice, {ocp});  // pays OCP only
    chain.post("ocp", pair(id64('a', 2), stray_cert, sha, alice.pub, T0), alice, {ocp, oao});  // other artwork

    ledger::PairCheck r = ledger::find_pair("  " + upper(pic) + "_0 ");
    ASSERT_TRUE(r.found) << r.error;
    EXPECT_EQ(r.cert, old_cert);  // the first pair in the chain's order is the root
    EXPECT_EQ(r.pic, pic);

    EXPECT_EQ(ledger::find_pair(" ").error, "Pick an artwork.");
    EXPECT_EQ(ledger::find_pair(id64('a', 3)).error, "No signed pair for this artwork.");
    EXPECT_EQ(ledger::find_pair("not an id").error, "No signed pair for this artwork.");
}

// --- title chains -------------------------------------------------------------------

TEST_F(Pairs, TitleChainSkipsRecordsThatDoNotContinueIt) {
    const std::string pic = id64('a', 1), cert = id64('c', 1), sha = std::string(64, '5');
    chain.put_content(cert + "_0", cert_json(pic, sha));
    // A pair whose owner is not its signer is no root; the next one is.
    chain.post("oao", pair(pic, cert, sha, alice.pub, T0 - 110), mallory, {oao});
    const std::string root = chain.post("oao", pair(pic, cert, sha, alice.pub, T0 - 100), alice, {oao, ocp});
    const std::string to_bob = chain.post("oao", owner_rec(pic, bob.pub, root, T0 - 90), alice, {oao});
    chain.post("oao", owner_rec(pic, mallory.pub, to_bob, T0 - 80), mallory, {oao});   // not the owner's
    chain.post("oao", owner_rec(pic, mallory.pub, root, T0 - 70), bob, {oao});         // wrong prev
    chain.post("oao", pair(pic, cert, sha, mallory.pub, T0 - 65), mallory, {oao});     // a second root
    chain.post("oao", owner_rec(pic, mallory.pub, to_bob, T0 - 62), bob, {ocp});       // does not pay OAO
    chain.post("oao", owner_rec(id64('a', 2), mallory.pub, to_bob, T0 - 61), bob, {oao});  // other artwork
    const std::string back = chain.post("oao", owner_rec(pic, upper(alice.pub), to_bob, T0 - 60), bob, {oao});

    std::vector<ledger::TitleEntry> chain_out;
    ASSERT_EQ(ledger::title_chain(upper(pic) + "_0", chain_out), "");
    ASSERT_EQ(chain_out.size(), 3u);
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, std::int64_t>> want = {
        {root, "art_pair", alice.pub, alice.pub, T0 - 100},
        {to_bob, "art_owner", bob.pub, alice.pub, T0 - 90},
        {back, "art_owner", alice.pub, bob.pub, T0 - 60},
    };
    for (std::size_t i = 0; i < want.size(); ++i) {
        const auto& [txid, type, owner, signer, ts] = want[i];
        EXPECT_EQ(chain_out[i].txid, txid) << i;
        EXPECT_EQ(chain_out[i].type, type) << i;
        EXPECT_EQ(chain_out[i].owner, owner) << i;
        EXPECT_EQ(chain_out[i].signer, signer) << i;
        EXPECT_EQ(chain_out[i].ts, ts) << i;
    }
    EXPECT_EQ(chain_out[1].handle, "alice");
    EXPECT_EQ(ledger::title_chain("  ", chain_out), "Pick an artwork.");
}

TEST_F(Pairs, TitleChainFollowsItsLinksWhateverTheTimes) {
    // A sale made within one second gives the pair and its titles equal times, and a
    // signer's clock may run behind: each title names the one before, which settles the order.
    const std::string pic = id64('a', 4), cert = id64('c', 4), sha = std::string(64, '5');
    chain.put_content(cert + "_0", cert_json(pic, sha));
    const std::string root = chain.post("oao", pair(pic, cert, sha, alice.pub, T0 - 50), alice, {oao, ocp});
    const std::string to_bob = chain.post("oao", owner_rec(pic, bob.pub, root, T0 - 50), alice, {oao});
    const std::string back = chain.post("oao", owner_rec(pic, alice.pub, to_bob, T0 - 70), bob, {oao});

    std::vector<ledger::TitleEntry> chain_out;
    ASSERT_EQ(ledger::title_chain(pic, chain_out), "");
    ASSERT_EQ(chain_out.size(), 3u);
    EXPECT_EQ(chain_out[0].txid, root);
    EXPECT_EQ(chain_out[1].txid, to_bob);
    EXPECT_EQ(chain_out[2].txid, back);
    EXPECT_EQ(chain_out[2].owner, alice.pub);
}

TEST_F(Pairs, TitleChainRootsInTheOcpPairWhenTheOaoHistoryHasNone) {
    const std::string pic = id64('a', 1), cert = id64('c', 1), sha = std::string(64, '5');
    chain.put_content(cert + "_0", cert_json(pic, sha));
    const std::string root = post_pair(pic, cert, sha, alice, T0 - 100);
    const std::string sale = chain.post("oao", owner_rec(pic, bob.pub, root, T0 - 50), alice, {oao});
    std::vector<ledger::TitleEntry> out;
    ASSERT_EQ(ledger::title_chain(pic, out), "");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].txid, root);
    EXPECT_EQ(out[1].txid, sale);

    // The OAO history unreadable: it may hold a sale, so nobody can say who holds the title.
    ledger::reset_wall_caches();
    chain.set_source_down("oao", true);
    chain.set_source_down(oao, true);
    EXPECT_EQ(ledger::title_chain(pic, out), "OI oao missed and WhatsOnChain missed");
    EXPECT_TRUE(out.empty());
}

TEST_F(Pairs, TitleHoldsUnlessItMovedToSomeoneElse) {
    const std::string pic = id64('a', 1), kept = id64('a', 2), cert = id64('c', 1), sha = std::string(64, '5');
    const std::string kept_cert = id64('c', 2);
    chain.put_content(cert + "_0", cert_json(pic, sha));
    chain.put_content(kept_cert + "_0", cert_json(kept, sha));
    const std::string root = post_pair(pic, cert, sha, alice, T0 - 100);
    chain.post("oao", owner_rec(pic, bob.pub, root, T0 - 90), alice, {oao});
    post_pair(kept, kept_cert, sha, alice, T0 - 100);
    auto spot = [](const std::string& p, const std::string& owner) {
        ledger::SpotLoad s;
        s.pic = p;
        s.owner = owner;
        return s;
    };
    EXPECT_TRUE(ledger::title_holds(spot(pic, upper(bob.pub))));
    EXPECT_FALSE(ledger::title_holds(spot(pic, alice.pub)));
    EXPECT_TRUE(ledger::title_holds(spot(kept, alice.pub)));
    EXPECT_FALSE(ledger::title_holds(spot(kept, bob.pub)));
    EXPECT_TRUE(ledger::title_holds(spot(id64('a', 3), bob.pub)));  // no chain at all

    ledger::reset_wall_caches();
    for (const auto& s : {std::string("oao"), oao, std::string("ocp"), ocp}) chain.set_source_down(s, true);
    EXPECT_TRUE(ledger::title_holds(spot(pic, alice.pub)));  // unreadable: does not take the piece down
}

}  // namespace
