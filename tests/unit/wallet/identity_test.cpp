#include "wallet/identity.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "core/base64.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace {

using core::Bytes;
using core::from_hex;
using core::to_hex;
using nlohmann::json;

const char* const N_HEX = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";

json load_vectors() {
    std::ifstream in(std::string(QUENVALE_SOURCE_DIR) + "/tests/data/signed-message.json");
    EXPECT_TRUE(in.good());
    json j;
    if (in.good()) in >> j;
    return j;
}

std::string message_of(const json& v) { return core::to_string(from_hex(v["message_hex"].get<std::string>())); }

Bytes b64(const std::string& text) {
    Bytes out;
    EXPECT_TRUE(core::base64_decode(text, out)) << text;
    return out;
}

Bytes sub32(const Bytes& a, const Bytes& b) {
    Bytes out(32);
    int borrow = 0;
    for (int i = 31; i >= 0; --i) {
        int d = a[i] - b[i] - borrow;
        borrow = d < 0;
        out[i] = static_cast<std::uint8_t>(d + (borrow ? 256 : 0));
    }
    return out;
}

// The preimage written out byte by byte, independent of the code under test.
Bytes preimage(const Bytes& length_prefix, const std::string& message) {
    Bytes pre{0x18};
    const std::string magic = "Bitcoin Signed Message:\n";
    pre.insert(pre.end(), magic.begin(), magic.end());
    pre.insert(pre.end(), length_prefix.begin(), length_prefix.end());
    pre.insert(pre.end(), message.begin(), message.end());
    return pre;
}

class IdentityVectors : public ::testing::Test {
protected:
    void SetUp() override {
        j = load_vectors();
        ASSERT_EQ(j["vectors"].size(), 4u);
        priv = j["private_key"];
        pub = j["public_key"];
        pub65 = j["public_key_uncompressed"];
    }
    json j;
    std::string priv, pub, pub65;
};

// --- digest --------------------------------------------------------------------------

TEST_F(IdentityVectors, DigestMatchesVectors) {
    const std::size_t expected_sizes[] = {8, 252, 253, 58};
    std::size_t i = 0;
    for (const auto& v : j["vectors"]) {
        const std::string m = message_of(v);
        EXPECT_EQ(m.size(), expected_sizes[i++]);
        EXPECT_EQ(to_hex(wallet::signed_message_digest(m)), v["digest"]) << m.size();
    }
}

TEST(IdentityDigest, LengthPrefixForms) {
    struct Case {
        std::size_t size;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {252, {0xfc}},
        {253, {0xfd, 0xfd, 0x00}},
        {65535, {0xfd, 0xff, 0xff}},
        {65536, {0xfe, 0x00, 0x00, 0x01, 0x00}},
        {70000, {0xfe, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        const std::string m(c.size, 'q');
        EXPECT_EQ(to_hex(wallet::signed_message_digest(m)), to_hex(core::sha256d(preimage(c.prefix, m))))
            << c.size;
    }
}

// --- signing -----------------------------------------------------------------------------

TEST_F(IdentityVectors, VectorCompactSignaturesRecoverToTheKey) {
    for (const auto& v : j["vectors"]) {
        const Bytes sig = b64(v["compact_base64"]);
        ASSERT_EQ(sig.size(), 65u);
        ASSERT_GE(sig[0], 31);
        ASSERT_LE(sig[0], 34);
        Bytes rec;
        ASSERT_TRUE(wallet::recover_pubkey(from_hex(v["digest"].get<std::string>()), Bytes(sig.begin() + 1, sig.begin() + 33),
                                           Bytes(sig.begin() + 33, sig.end()), sig[0] - 31, rec));
        EXPECT_EQ(to_hex(rec), pub);
    }
}

TEST_F(IdentityVectors, CompactSignaturesRecoverToSigner) {
    const Bytes signer = from_hex(pub);
    for (const auto& v : j["vectors"]) {
        const std::string m = message_of(v);
        for (int round = 0; round < 6; ++round) {  // fresh nonces: several recovery ids
            std::string text;
            ASSERT_TRUE(wallet::sign_message_compact(priv, m, text));
            EXPECT_EQ(text.size(), 88u);
            EXPECT_EQ(text.back(), '=');
            const Bytes sig = b64(text);
            ASSERT_EQ(sig.size(), 65u);
            ASSERT_GE(sig[0], 31);
            ASSERT_LE(sig[0], 34);
            const Bytes r(sig.begin() + 1, sig.begin() + 33), s(sig.begin() + 33, sig.end());
            EXPECT_LE(to_hex(s), "7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0");
            Bytes rec;
            ASSERT_TRUE(wallet::recover_pubkey(wallet::signed_message_digest(m), r, s, sig[0] - 31, rec));
            EXPECT_EQ(rec, signer);
            EXPECT_TRUE(wallet::verify_message(m, pub, text));
        }
    }
}

TEST_F(IdentityVectors, PlainSignatures) {
    const std::string m = "OV1|art_gentry|art|alice|alice|1733650000|visit|1733650000";
    const Bytes digest = wallet::signed_message_digest(m);
    std::string text;
    ASSERT_TRUE(wallet::sign_plain(priv, digest, text));
    EXPECT_EQ(text.size(), 88u);
    EXPECT_EQ(text.substr(86), "==");
    const Bytes sig = b64(text);
    ASSERT_EQ(sig.size(), 64u);
    EXPECT_TRUE(wallet::verify_digest(from_hex(pub), digest, Bytes(sig.begin(), sig.begin() + 32),
                                      Bytes(sig.begin() + 32, sig.end())));
    EXPECT_TRUE(wallet::verify_message(m, pub, text));
    // The fallback form: signed over the single SHA-256 of the message.
    ASSERT_TRUE(wallet::sign_plain(priv, core::sha256(m), text));
    EXPECT_TRUE(wallet::verify_message(m, pub, text));
}

TEST(IdentitySign, RejectsBadKeys) {
    std::string out = "stale";
    for (const std::string& bad : {std::string(64, '0'), std::string(N_HEX), std::string(62, '1'), std::string("xyz")}) {
        EXPECT_FALSE(wallet::sign_message_compact(bad, "m", out)) << bad;
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(wallet::sign_plain(bad, Bytes(32, 1), out)) << bad;
    }
    EXPECT_FALSE(wallet::sign_plain(std::string(63, '0') + "3", Bytes(20, 1), out));
}

// --- verification -----------------------------------------------------------------------

TEST_F(IdentityVectors, VerifiesEveryVectorSignatureForm) {
    const char* const fields[] = {"compact_base64", "plain_base64", "plain_over_single_sha256_base64",
                                  "plain_over_double_sha256_base64"};
    const std::string upper_prefixed = "0X" + pub;
    const std::string keys[] = {pub, pub65, "0x" + pub, upper_prefixed, "  \t" + pub + "\r\n", "0x" + pub65};
    for (const auto& v : j["vectors"]) {
        const std::string m = message_of(v);
        for (const char* f : fields)
            for (const auto& k : keys) EXPECT_TRUE(wallet::verify_message(m, k, v[f].get<std::string>())) << f << " " << k;
        // Another message fails every form.
        for (const char* f : fields) EXPECT_FALSE(wallet::verify_message(m + ".", pub, v[f].get<std::string>())) << f;
    }
}

// The three digests really are distinct: each plain signature verifies over exactly
// its own digest.
TEST_F(IdentityVectors, EachFallbackDigestIsDistinct) {
    const Bytes key = from_hex(pub);
    for (const auto& v : j["vectors"]) {
        const std::string m = message_of(v);
        const Bytes digests[] = {wallet::signed_message_digest(m), core::sha256(m), core::sha256d(m)};
        const char* const fields[] = {"plain_base64", "plain_over_single_sha256_base64",
                                      "plain_over_double_sha256_base64"};
        for (int f = 0; f < 3; ++f) {
            const Bytes sig = b64(v[fields[f]]);
            ASSERT_EQ(sig.size(), 64u);
            const Bytes r(sig.begin(), sig.begin() + 32), s(sig.begin() + 32, sig.end());
            for (int d = 0; d < 3; ++d) EXPECT_EQ(wallet::verify_digest(key, digests[d], r, s), f == d) << f << d;
        }
    }
}

TEST_F(IdentityVectors, SignatureEncodingRules) {
    const json& v = j["vectors"][0];
    const std::string m = message_of(v);
    const Bytes plain = b64(v["plain_base64"]);
    ASSERT_EQ(plain.size(), 64u);

    // Any header byte before r and s is accepted.
    for (int header : {0, 27, 31, 34, 255}) {
        Bytes sig{static_cast<std::uint8_t>(header)};
        sig.insert(sig.end(), plain.begin(), plain.end());
        EXPECT_TRUE(wallet::verify_message(m, pub, core::base64_encode(sig))) << header;
    }
    // High S is not rejected.
    Bytes high(plain.begin(), plain.begin() + 32);
    const Bytes s_high = sub32(from_hex(N_HEX), Bytes(plain.begin() + 32, plain.end()));
    high.insert(high.end(), s_high.begin(), s_high.end());
    EXPECT_TRUE(wallet::verify_message(m, pub, core::base64_encode(high)));

    // White space and stray "=" inside the text are skipped.
    std::string spaced = v["plain_base64"];
    spaced.insert(10, " \n=");
    EXPECT_TRUE(wallet::verify_message(m, pub, spaced));

    std::string bad_char = v["plain_base64"];
    bad_char[5] = '!';
    std::string url_safe = v["plain_base64"];
    url_safe[5] = '-';
    Bytes flipped = plain;
    flipped[40] ^= 0x01;
    const std::string cases[] = {
        bad_char,
        url_safe,
        core::base64_encode(Bytes(plain.begin(), plain.end() - 1)),  // 63 bytes
        core::base64_encode([&] { Bytes b = plain; b.insert(b.begin(), {31, 31}); return b; }()),  // 66 bytes
        core::base64_encode(flipped),
        "",
    };
    for (const auto& c : cases) EXPECT_FALSE(wallet::verify_message(m, pub, c)) << c;
}

TEST_F(IdentityVectors, PublicKeyTextRules) {
    const json& v = j["vectors"][1];
    const std::string m = message_of(v), sig = v["plain_base64"];
    std::string off_curve = pub65;
    off_curve.back() = off_curve.back() == '0' ? '1' : '0';
    const std::string cases[] = {
        pub.substr(1),                      // odd length
        pub.substr(2),                      // 32 bytes
        pub + "00",                         // 34 bytes
        "0x",                               // prefix only
        "x" + pub,                          // not a prefix
        "05" + pub65.substr(2),             // 65 bytes of the wrong form
        off_curve,                          // not a curve point
        "02" + pub.substr(2),               // the other parity: another key
        pub.substr(0, 10) + " " + pub.substr(10),
        "",
    };
    for (const auto& k : cases) EXPECT_FALSE(wallet::verify_message(m, k, sig)) << k;
}

// --- compressed form -------------------------------------------------------------------

TEST_F(IdentityVectors, CompressedPubkeyHex) {
    const Bytes c = from_hex(pub), u = from_hex(pub65);
    EXPECT_EQ(wallet::compressed_pubkey_hex(c), pub);
    EXPECT_EQ(wallet::compressed_pubkey_hex(u), pub);
    // Even y gives 02.
    std::string g_pub;
    ASSERT_TRUE(wallet::pub_from_priv(std::string(63, '0') + "1", g_pub));
    ASSERT_EQ(g_pub.substr(0, 2), "02");
    Bytes g65 = from_hex("0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
                         "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8");
    EXPECT_EQ(wallet::compressed_pubkey_hex(g65), g_pub);

    Bytes wrong_prefix33 = c;
    wrong_prefix33[0] = 0x04;
    Bytes wrong_prefix65 = u;
    wrong_prefix65[0] = 0x02;
    for (const Bytes& bad : {wrong_prefix33, wrong_prefix65, Bytes(c.begin(), c.end() - 1), Bytes(64, 4), Bytes{}})
        EXPECT_EQ(wallet::compressed_pubkey_hex(bad), "") << to_hex(bad);
}

}  // namespace
