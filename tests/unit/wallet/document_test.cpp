// The wallet document: loading HD and legacy forms, sealed marks, saving back our
// members only, merging the wallet application's changes, and the derived keys.
#include <cctype>
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/identity.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON;
using testing_support::ABANDON_IDENTITY;
using testing_support::ABANDON_ORDINALS0;
using testing_support::ABANDON_RECEIVE0;
using testing_support::hd_wallet_document;
using testing_support::TempPlatform;

namespace {

class WalletDoc : public ::testing::Test {
protected:
    TempPlatform tp;
    void SetUp() override {
        core::Profile p;
        p.paymail_domain = "orvane.test";
        core::set_profile(p);
        tp.write("wallets.json", testing_support::HD_WALLET_REGISTRY);
        wallet::init_app_binding("Quenvale", "inst");
    }
    void TearDown() override { core::reset_profile(); }
    void write_doc(const core::Json& doc) { tp.write("wallets/w1/wallet.json", core::dump_pretty(doc)); }
    core::Json read_doc() {
        core::Json j;
        core::parse_json(tp.read("wallets/w1/wallet.json"), j);
        return j;
    }
};

}  // namespace

TEST_F(WalletDoc, HdDocumentDerivesTheKnownAddresses) {
    write_doc(hd_wallet_document());
    ASSERT_TRUE(wallet::load_wallet());
    wallet::WalletLock lock(wallet::wallet_mutex());
    auto& s = wallet::wallet_state();
    EXPECT_TRUE(s.hd);
    EXPECT_EQ(s.address, ABANDON_RECEIVE0);
    EXPECT_EQ(s.identity_address, ABANDON_IDENTITY);
    EXPECT_EQ(s.ordinals_address, ABANDON_ORDINALS0);
    EXPECT_EQ(wallet::wallet_address(), s.address);
    EXPECT_EQ(wallet::address_from_pub(wallet::wallet_identity_key()), s.identity_address);
    EXPECT_TRUE(wallet::wallet_ready_hd());
}

TEST_F(WalletDoc, CountersTakeSixIntegersAndShowIsClamped) {
    core::Json doc = hd_wallet_document();
    doc["recv"] = {1, 4, 2, 3, 4, 5, 6, 7};
    doc["show"] = 7;
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        EXPECT_EQ(s.recv, (std::array<std::uint32_t, 6>{1, 4, 2, 3, 4, 5}));
        EXPECT_EQ(s.show, 4u);
        std::string priv, pub, addr;
        ASSERT_TRUE(wallet::derive_path(wallet::receive_path(4), priv, pub, addr));
        EXPECT_EQ(s.address, addr);
    }
    wallet::forget_wallet();
    doc["recv"] = {9, 2};
    doc.erase("show");
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_EQ(wallet::wallet_state().recv, (std::array<std::uint32_t, 6>{9, 2, 0, 0, 0, 0}));
    EXPECT_EQ(wallet::wallet_state().show, 2u);  // defaults to the highest receive index
}

TEST_F(WalletDoc, UnloadableDocumentsGiveFalse) {
    EXPECT_FALSE(wallet::load_wallet());  // no file
    tp.write("wallets/w1/wallet.json", "{broken");
    EXPECT_FALSE(wallet::load_wallet());
    core::Json doc = hd_wallet_document();
    doc["mnemonic"] = "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon";
    write_doc(doc);
    EXPECT_FALSE(wallet::load_wallet());  // bad checksum
    write_doc({{"priv", "abcd"}});
    EXPECT_FALSE(wallet::load_wallet());
    EXPECT_FALSE(wallet::wallet_in_memory());
}

// A legacy document is its key: a stored public key or address that is not the key's own
// (or a key that is no key) does not load, so the wallet never shows or receives to an
// address it cannot spend from.
TEST_F(WalletDoc, LegacyDocumentWhoseKeyDisagreesDoesNotLoad) {
    std::string priv(63, '0');
    priv += "1";
    std::string pub;
    ASSERT_TRUE(wallet::pub_from_priv(priv, pub));
    const std::string address = wallet::address_from_pub(pub);
    std::string other_pub;
    ASSERT_TRUE(wallet::pub_from_priv(std::string(63, '0') + "2", other_pub));

    write_doc({{"priv", priv}, {"pub", pub}, {"address", "1J7mdg5rbQyUHENYdx39WVWK7fsLp6a2b0e9e52EoXZy"}});
    EXPECT_FALSE(wallet::load_wallet());
    write_doc({{"priv", priv}, {"pub", pub}, {"address", wallet::address_from_pub(other_pub)}});
    EXPECT_FALSE(wallet::load_wallet());
    write_doc({{"priv", priv}, {"pub", other_pub}});
    EXPECT_FALSE(wallet::load_wallet());
    write_doc({{"priv", std::string(64, 'z')}, {"pub", pub}, {"address", address}});
    EXPECT_FALSE(wallet::load_wallet());
    EXPECT_FALSE(wallet::wallet_in_memory());

    // The same key with its own members, the public key in capitals, loads.
    std::string upper_pub = pub;
    for (char& c : upper_pub) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    write_doc({{"priv", priv}, {"pub", upper_pub}, {"address", address}});
    ASSERT_TRUE(wallet::load_wallet());
    EXPECT_EQ(wallet::wallet_address(), address);
    EXPECT_EQ(wallet::wallet_identity_key(), pub);
}

TEST_F(WalletDoc, SealedMarks) {
    write_doc({{"lock", "OV-LOCK1"}, {"kdf", "pbkdf2-sha256"}, {"ct", "00"}});
    EXPECT_FALSE(wallet::load_wallet());
    EXPECT_TRUE(wallet::wallet_is_locked());
    EXPECT_FALSE(wallet::peek_wallet_summary().found);

    write_doc(hd_wallet_document());
    tp.write("wallets/w1/wallet.json.seal", "");
    EXPECT_TRUE(wallet::load_wallet());  // a plain document still loads...
    EXPECT_TRUE(wallet::wallet_is_locked());  // ...but the wallet counts as locked
}

TEST_F(WalletDoc, LegacyKeyLoadsAndANewFileGetsAllThreeMembers) {
    std::string priv(63, '0');
    priv += "1";
    write_doc({{"priv", priv}, {"paymail", "old"}});
    ASSERT_TRUE(wallet::load_wallet());
    std::string pub;
    ASSERT_TRUE(wallet::pub_from_priv(priv, pub));
    EXPECT_EQ(wallet::wallet_identity_key(), pub);
    EXPECT_FALSE(wallet::wallet_ready_hd());
    // Over the existing file only our members change; the wallet application's stay.
    ASSERT_TRUE(wallet::save_wallet());
    EXPECT_EQ(read_doc(), (core::Json{{"priv", priv}, {"paymail", "old"}}));
    // Written anew (no file on disk), the document is whole.
    ASSERT_TRUE(core::remove_file(tp.path("wallets/w1/wallet.json")));
    ASSERT_TRUE(wallet::save_wallet());
    core::Json saved = read_doc();
    EXPECT_EQ(saved["priv"], priv);
    EXPECT_EQ(saved["pub"], pub);
    EXPECT_EQ(saved["address"], wallet::address_from_pub(pub));
    EXPECT_FALSE(saved.contains("mnemonic"));
}

TEST_F(WalletDoc, OwnedEntriesAndContactsAreNormalisedOnLoad) {
    core::Json doc = hd_wallet_document();
    doc["ord_owned"] = {{{"txid", "t"}}, {{"origin", "o1"}, {"vout", 2}}, "junk",
                        {{"origin", "o2"}, {"created", false}, {"hidden", true}, {"name", "Dawn"}}};
    doc["contacts"] = {{{"dest", " @Alice@ORVANE.test \n"}, {"note", std::string(100, 'n')}},
                       {{"dest", "$bob@elsewhere.org"}},
                       {{"dest", "@ "}},
                       {{"dest", "1BoatSLRHtKNngkdXEeobR76b53LETtpyT"}}};
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    wallet::WalletLock lock(wallet::wallet_mutex());
    auto& s = wallet::wallet_state();
    ASSERT_EQ(s.owned.size(), 2u);
    EXPECT_EQ(s.owned[0].origin, "o1");
    EXPECT_TRUE(s.owned[0].created);
    EXPECT_EQ(s.owned[0].vout, 2);
    EXPECT_FALSE(s.owned[1].created);
    ASSERT_EQ(s.contacts.size(), 3u);
    EXPECT_EQ(s.contacts[0].dest, "alice");
    EXPECT_EQ(s.contacts[0].note.size(), 80u);
    EXPECT_EQ(s.contacts[1].dest, "bob@elsewhere.org");
    EXPECT_EQ(s.contacts[2].dest, "1BoatSLRHtKNngkdXEeobR76b53LETtpyT");  // addresses keep their case
}

TEST_F(WalletDoc, SaveWritesOurMembersAndKeepsTheWalletApplicationsOwn) {
    core::Json doc = hd_wallet_document();
    doc["wendrel_theme"] = "night";
    doc["paymail"] = "alice";
    doc["identity"] = "1IdentityAsTheWalletAppWroteIt";
    doc["ord_owned"] = {{{"origin", "gone"}, {"txid", "t0"}}};
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        s.recv[1] = 3;
        s.show = 2;
        s.paymail.clear();
        s.avatar = "abc_0";
        wallet::OwnedEntry e;
        e.origin = "o1";
        e.txid = "t1";
        s.owned = {e};
    }
    std::string error;
    ASSERT_TRUE(wallet::save_wallet(error)) << error;
    core::Json saved = read_doc();
    EXPECT_EQ(saved["wendrel_theme"], "night");
    EXPECT_EQ(saved["recv"], (core::Json{0, 3, 0, 0, 0, 0}));
    EXPECT_EQ(saved["show"], 2);
    EXPECT_EQ(saved["paymail"], "alice");  // an alias we do not hold is not cleared
    EXPECT_EQ(saved["ord_avatar"], "abc_0");
    ASSERT_EQ(saved["ord_owned"].size(), 1u);  // the owned list is ours: replaced whole
    EXPECT_EQ(saved["ord_owned"][0]["origin"], "o1");
    EXPECT_EQ(saved["ord_owned"][0]["created"], true);
    EXPECT_FALSE(saved["ord_owned"][0].contains("hidden"));
    EXPECT_EQ(saved["version"], 2);
    EXPECT_EQ(saved["identity"], "1IdentityAsTheWalletAppWroteIt");
    EXPECT_EQ(saved["mnemonic"], ABANDON);
}

TEST_F(WalletDoc, SaveNeverWritesOverAnUnreadableFile) {
    write_doc(hd_wallet_document());
    ASSERT_TRUE(wallet::load_wallet());
    for (const char* text : {"{half", "", "[]"}) {
        tp.write("wallets/w1/wallet.json", text);
        std::string error;
        EXPECT_FALSE(wallet::save_wallet(error)) << text;
        EXPECT_EQ(error, "the wallet file could not be read; try again.");
        EXPECT_EQ(tp.read("wallets/w1/wallet.json"), text);
        EXPECT_TRUE(wallet::wallet_in_memory());  // a torn read is no reason to let go
    }
}

TEST_F(WalletDoc, MergeRaisesCountersOnlyAndFollowsAvatarAndPaymail) {
    core::Json doc = hd_wallet_document();
    doc["recv"] = {0, 2, 0, 0, 0, 1};
    doc["ord_avatar"] = "av_0";
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    doc["recv"] = {5, 1, 0, 0, 0, 3};
    doc.erase("ord_avatar");
    doc["paymail"] = "carol";
    write_doc(doc);
    wallet::merge_wallet_changes();
    wallet::WalletLock lock(wallet::wallet_mutex());
    auto& s = wallet::wallet_state();
    EXPECT_EQ(s.recv, (std::array<std::uint32_t, 6>{5, 2, 0, 0, 0, 3}));
    EXPECT_EQ(s.avatar, "");
    EXPECT_EQ(s.paymail, "carol");
}

TEST_F(WalletDoc, PeekReadsTheDocumentWithoutLoadingKeys) {
    core::Json doc = hd_wallet_document();
    doc["address"] = ABANDON_RECEIVE0;
    doc["paymail"] = "alice";
    write_doc(doc);
    auto sum = wallet::peek_wallet_summary();
    EXPECT_TRUE(sum.found);
    EXPECT_TRUE(sum.hd);
    EXPECT_EQ(sum.paymail, "alice@orvane.test");
    EXPECT_FALSE(wallet::wallet_in_memory());
}

TEST_F(WalletDoc, ForgetClearsEverything) {
    write_doc(hd_wallet_document());
    ASSERT_TRUE(wallet::load_wallet());
    wallet::forget_wallet();
    wallet::WalletLock lock(wallet::wallet_mutex());
    auto& s = wallet::wallet_state();
    EXPECT_TRUE(s.mnemonic.empty());
    EXPECT_TRUE(s.priv.empty());
    EXPECT_TRUE(s.seed.empty());
    EXPECT_EQ(s.master, nullptr);
    EXPECT_EQ(s.cached_balance, -1);
    EXPECT_FALSE(wallet::wallet_in_memory());
}

TEST_F(WalletDoc, KeySearchCoversAccountsAndIdentity) {
    core::Json doc = hd_wallet_document();
    doc["recv"] = {0, 3, 0, 0, 0, 0};
    write_doc(doc);
    ASSERT_TRUE(wallet::load_wallet());
    std::string priv, pub, addr, fpriv, fpub;
    ASSERT_TRUE(wallet::derive_path(wallet::receive_path(2), priv, pub, addr));
    ASSERT_TRUE(wallet::find_key_for_address(addr, fpriv, fpub));
    EXPECT_EQ(fpriv, priv);
    EXPECT_TRUE(wallet::find_key_for_address(ABANDON_IDENTITY, fpriv, fpub));
    ASSERT_TRUE(wallet::derive_path(wallet::receive_path(4), priv, pub, addr));
    EXPECT_FALSE(wallet::find_key_for_address(addr, fpriv, fpub));  // beyond recv[1]
    EXPECT_FALSE(wallet::find_key_for_address("not an address", fpriv, fpub));
    auto watched = wallet::watched_addresses();
    ASSERT_EQ(watched.size(), 5u);
    EXPECT_EQ(watched.back(), ABANDON_IDENTITY);
    wallet::Path p;
    EXPECT_FALSE(wallet::account_path(6, 0, p));
}

TEST_F(WalletDoc, IdentitySignatureVerifiesAndBnKeyDerives) {
    write_doc(hd_wallet_document());
    std::string pub, sig, error;
    ASSERT_TRUE(wallet::identity_sign("OV-PAYMAIL-CLAIM|alice", pub, sig, error)) << error;
    EXPECT_EQ(pub, wallet::wallet_identity_key());
    EXPECT_EQ(sig.size(), 88u);
    EXPECT_TRUE(wallet::verify_message("OV-PAYMAIL-CLAIM|alice", pub, sig));
    EXPECT_FALSE(wallet::verify_message("OV-PAYMAIL-CLAIM|bob", pub, sig));
    std::string bpub, bpriv, baddr;
    ASSERT_TRUE(wallet::bn_key(bpub, bpriv, baddr, error));
    EXPECT_EQ(wallet::address_from_pub(bpub), baddr);
    core::Bytes h160;
    ASSERT_TRUE(wallet::current_ordinals_hash160(h160, error));
    EXPECT_EQ(wallet::address_from_hash160(h160), ABANDON_ORDINALS0);
}

TEST_F(WalletDoc, LegacyWalletCannotSignAsIdentity) {
    std::string priv(63, '0');
    write_doc({{"priv", priv + "7"}});
    std::string pub, sig, error;
    EXPECT_FALSE(wallet::identity_sign("m", pub, sig, error));
    EXPECT_EQ(error, "Wendrel HD wallet not connected");
    core::Bytes h;
    EXPECT_FALSE(wallet::current_ordinals_hash160(h, error));
    EXPECT_EQ(error, "need an HD Wendrel wallet.");
}
