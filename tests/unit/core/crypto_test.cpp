#include "core/crypto.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/hex.h"
#include "core/secret.h"

namespace {

using core::Bytes;
using core::from_hex;
using core::to_hex;

Bytes repeat(std::uint8_t b, std::size_t n) { return Bytes(n, b); }

// --- digests: published known answers (FIPS 180 examples, RIPEMD-160 paper) ----------

struct DigestCase {
    const char* name;
    Bytes (*fn)(std::string_view);
    std::string input;
    const char* expected;
};

TEST(CryptoDigest, KnownAnswers) {
    const std::string million_a(1000000, 'a');
    const DigestCase cases[] = {
        {"sha256 empty", core::sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"sha256 abc", core::sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"sha256 two blocks", core::sha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"sha256 million a", core::sha256, million_a,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"sha512 abc", core::sha512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d"
         "4423643ce80e2a9ac94fa54ca49f"},
        {"sha512 empty", core::sha512, "",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931"
         "bd47417a81a538327af927da3e"},
        {"ripemd160 empty", core::ripemd160, "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"ripemd160 abc", core::ripemd160, "abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"ripemd160 message digest", core::ripemd160, "message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_hex(c.fn(c.input)), c.expected) << c.name;
}

// The composite hashes chain the primitives; the three input forms must agree.
TEST(CryptoDigest, CompositesAndOverloadsAgree) {
    const std::string text = "Quenvale";
    const Bytes bytes = core::to_bytes(text);
    EXPECT_EQ(core::sha256d(text), core::sha256(core::sha256(text)));
    EXPECT_EQ(core::sha256d(bytes), core::sha256d(bytes.data(), bytes.size()));
    EXPECT_EQ(core::hash160(bytes), core::ripemd160(core::sha256(bytes)));
    EXPECT_NE(core::sha256d(text), core::sha256(text));
    EXPECT_EQ(core::sha256(bytes), core::sha256(text));
    EXPECT_EQ(core::sha512(bytes), core::sha512(text));
    EXPECT_EQ(core::ripemd160(bytes), core::ripemd160(text));
    EXPECT_EQ(core::sha256d(nullptr, 0).size(), 32u);
    EXPECT_EQ(core::hash160(nullptr, 0).size(), 20u);
}

// --- HMAC-SHA512: RFC 4231 --------------------------------------------------------------

TEST(CryptoHmac, Rfc4231Sha512) {
    struct Case {
        const char* name;
        Bytes key;
        Bytes data;
        const char* expected;
    };
    const Case cases[] = {
        {"case 1", repeat(0x0b, 20), core::to_bytes("Hi There"),
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914e"
         "eb61f1702e696c203a126854"},
        {"case 2", core::to_bytes("Jefe"), core::to_bytes("what do ya want for nothing?"),
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a3"
         "4d4a6b4b636e070a38bce737"},
        // A key longer than the block is hashed first.
        {"case 6", repeat(0xaa, 131), core::to_bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
         "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f"
         "73f63f0aec8b915a985d786598"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_hex(core::hmac_sha512(c.key, c.data)), c.expected) << c.name;
        std::uint8_t out[64];
        ASSERT_TRUE(core::hmac_sha512(c.key.data(), c.key.size(), c.data.data(), c.data.size(), out)) << c.name;
        EXPECT_EQ(to_hex(out, 64), c.expected) << c.name;
    }
    EXPECT_EQ(core::hmac_sha512(std::string_view("Jefe"), std::string_view("what do ya want for nothing?")),
              core::hmac_sha512(cases[1].key, cases[1].data));
}

// --- PBKDF2 -----------------------------------------------------------------------------

TEST(CryptoPbkdf2, Sha256Rfc7914) {
    struct Case {
        const char* pass;
        const char* salt;
        std::uint32_t iter;
        const char* expected;
    };
    const Case cases[] = {
        {"passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845"
         "b1e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bde"
         "bba1d078478f62b397f33c8d"},
    };
    for (const auto& c : cases) {
        Bytes out;
        ASSERT_TRUE(core::pbkdf2_sha256(c.pass, c.salt, c.iter, 64, out)) << c.pass;
        EXPECT_EQ(to_hex(out), c.expected) << c.pass;
    }
}

TEST(CryptoPbkdf2, Sha512KnownAnswerAndPrefixProperty) {
    Bytes out;
    ASSERT_TRUE(core::pbkdf2_sha512("password", "salt", 1, 64, out));
    EXPECT_EQ(to_hex(out),
              "867f70cf1ade02cff3752599a3a53dc4af34c7a669815ae5d513554e1c8cf252c02d470a285a0501bad999bfe943c08f0502"
              "35d7d68b1da55e63f73b60a57fce");
    // Output blocks are independent, so a shorter request is a prefix of a longer one;
    // the second block is only reached beyond 64 bytes.
    Bytes longer;
    ASSERT_TRUE(core::pbkdf2_sha512("password", "salt", 3, 100, longer));
    Bytes shorter;
    ASSERT_TRUE(core::pbkdf2_sha512("password", "salt", 3, 20, shorter));
    ASSERT_EQ(longer.size(), 100u);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin()));
    // A NUL inside the password is part of it.
    Bytes with_nul;
    ASSERT_TRUE(core::pbkdf2_sha512(std::string_view("pass\0word", 9), "salt", 1, 64, with_nul));
    Bytes truncated;
    ASSERT_TRUE(core::pbkdf2_sha512("pass", "salt", 1, 64, truncated));
    EXPECT_NE(with_nul, truncated);
}

TEST(CryptoPbkdf2, RejectsDegenerateRequests) {
    Bytes out{1, 2, 3};
    EXPECT_FALSE(core::pbkdf2_sha512("p", "s", 0, 64, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(core::pbkdf2_sha256("p", "s", 1, 0, out));
    std::uint8_t buf[8];
    EXPECT_FALSE(core::pbkdf2_sha256("p", nullptr, 0, 0, sizeof buf, buf));
}

// --- AES-256-GCM -----------------------------------------------------------------------

// NIST GCM test cases 13 and 14 (zero key, zero IV).
TEST(CryptoGcm, NistZeroKeyCases) {
    const Bytes key(32, 0), iv(12, 0);
    Bytes ct, tag;
    ASSERT_TRUE(core::aes256gcm_encrypt(key, iv, {}, ct, tag));
    EXPECT_TRUE(ct.empty());
    EXPECT_EQ(to_hex(tag), "530f8afbc74536b9a963b4f1c4cb738b");
    ASSERT_TRUE(core::aes256gcm_encrypt(key, iv, Bytes(16, 0), ct, tag));
    EXPECT_EQ(to_hex(ct), "cea7403d4d606b6e074ec5d3baf39d18");
    EXPECT_EQ(to_hex(tag), "d0d1c8a799996bf0265b98b5d48ab919");
    Bytes plain;
    ASSERT_TRUE(core::aes256gcm_decrypt(key, iv, ct, tag, plain));
    EXPECT_EQ(plain, Bytes(16, 0));
}

TEST(CryptoGcm, RoundTripAndTamperDetection) {
    Bytes key, iv;
    ASSERT_TRUE(core::random_bytes(32, key));
    ASSERT_TRUE(core::random_bytes(12, iv));
    const Bytes plain = core::to_bytes("{\"mnemonic\":\"abandon abandon ... about\",\"recv\":[0,3,0,0,0,1]}");
    Bytes ct, tag;
    ASSERT_TRUE(core::aes256gcm_encrypt(key, iv, plain, ct, tag));
    ASSERT_EQ(ct.size(), plain.size());
    ASSERT_EQ(tag.size(), 16u);
    EXPECT_NE(ct, plain);

    Bytes out;
    ASSERT_TRUE(core::aes256gcm_decrypt(key, iv, ct, tag, out));
    EXPECT_EQ(out, plain);

    auto flipped = [](Bytes b, std::size_t i) {
        b[i] ^= 0x01;
        return b;
    };
    struct Tamper {
        const char* name;
        Bytes key, iv, ct, tag;
    };
    const Tamper cases[] = {
        {"ciphertext first byte", key, iv, flipped(ct, 0), tag},
        {"ciphertext last byte", key, iv, flipped(ct, ct.size() - 1), tag},
        {"tag", key, iv, ct, flipped(tag, 15)},
        {"key", flipped(key, 7), iv, ct, tag},
        {"iv", key, flipped(iv, 11), ct, tag},
        {"truncated ciphertext", key, iv, Bytes(ct.begin(), ct.end() - 1), tag},
        {"short tag", key, iv, ct, Bytes(tag.begin(), tag.end() - 1)},
        {"short key", Bytes(key.begin(), key.end() - 1), iv, ct, tag},
        {"long iv", key, [&] { Bytes v = iv; v.push_back(0); return v; }(), ct, tag},
    };
    for (const auto& c : cases) {
        Bytes got = core::to_bytes("stale");
        EXPECT_FALSE(core::aes256gcm_decrypt(c.key, c.iv, c.ct, c.tag, got)) << c.name;
        EXPECT_TRUE(got.empty()) << c.name;
    }
}

TEST(CryptoGcm, EncryptRejectsWrongSizes) {
    Bytes ct{1}, tag{1};
    EXPECT_FALSE(core::aes256gcm_encrypt(Bytes(16, 0), Bytes(12, 0), Bytes(4, 0), ct, tag));
    EXPECT_TRUE(ct.empty());
    EXPECT_TRUE(tag.empty());
    EXPECT_FALSE(core::aes256gcm_encrypt(Bytes(32, 0), Bytes(16, 0), Bytes(4, 0), ct, tag));
}

// --- random bytes and wiping -----------------------------------------------------------

TEST(CryptoRandom, SizesAndFreshness) {
    Bytes a, b, none{9};
    ASSERT_TRUE(core::random_bytes(32, a));
    ASSERT_TRUE(core::random_bytes(32, b));
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, b);  // equal with probability 2^-256
    ASSERT_TRUE(core::random_bytes(0, none));
    EXPECT_TRUE(none.empty());
}

TEST(CryptoCleanse, ZeroesAndClears) {
    std::uint8_t raw[16];
    for (std::size_t i = 0; i < sizeof raw; ++i) raw[i] = static_cast<std::uint8_t>(0xa0 + i);
    core::cleanse(raw, sizeof raw);
    for (std::uint8_t v : raw) EXPECT_EQ(v, 0);
    core::cleanse(nullptr, 4);  // tolerated

    std::string s = "a secret longer than the small-string buffer";
    core::cleanse(s);
    EXPECT_TRUE(s.empty());
    Bytes b(40, 0x5a);
    const std::size_t cap = b.capacity();
    core::cleanse(b);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.capacity(), cap);  // wiped in place, not reallocated
}

TEST(CryptoSecret, HoldersMoveAndWipe) {
    core::SecretBytes a(reinterpret_cast<const std::uint8_t*>("seed-bytes"), 10);
    core::SecretBytes b(std::move(a));
    EXPECT_TRUE(a.empty());
    ASSERT_EQ(b.size(), 10u);
    EXPECT_EQ(core::to_string(b.bytes()), "seed-bytes");

    b.resize(64);  // grows past capacity: contents kept, rest zero
    ASSERT_EQ(b.size(), 64u);
    EXPECT_EQ(core::to_string(Bytes(b.bytes().begin(), b.bytes().begin() + 10)), "seed-bytes");
    EXPECT_EQ(b.data()[63], 0);
    b.resize(4);
    EXPECT_EQ(core::to_string(b.bytes()), "seed");

    core::SecretBytes c;
    c = std::move(b);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(c.size(), 4u);
    c.clear();
    EXPECT_TRUE(c.empty());

    Bytes v{1, 2, 3};
    core::SecretBytes owned(std::move(v));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(owned.size(), 3u);

    core::SecretString s1("short");  // fits the small-string buffer
    core::SecretString s2(std::move(s1));
    EXPECT_TRUE(s1.empty());
    EXPECT_EQ(s2.view(), "short");
    core::SecretString s3;
    s3 = std::move(s2);
    EXPECT_TRUE(s2.empty());
    EXPECT_EQ(s3.str(), "short");
    s3.assign("another value");
    EXPECT_EQ(s3.view(), "another value");
}

}  // namespace
