#include "wallet/keys.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/hex.h"
#include "core/secret.h"

namespace {

using core::Bytes;
using core::from_hex;
using core::to_hex;
using nlohmann::json;

// secp256k1 order n and n/2 (rounded down), from the curve's published parameters.
const char* const N_HEX = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
const char* const HALF_N_HEX = "7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0";
const char* const G_X_HEX = "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798";

const char* const ABANDON_ABOUT =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";

json load_vectors(const char* name) {
    std::ifstream in(std::string(QUENVALE_SOURCE_DIR) + "/tests/data/" + name);
    EXPECT_TRUE(in.good()) << name;
    json j;
    if (in.good()) in >> j;
    return j;
}

// "m/0'/1/2147483647'" to indices.
std::vector<std::uint32_t> parse_path(const std::string& path) {
    std::vector<std::uint32_t> out;
    std::size_t pos = path.find('/');
    while (pos != std::string::npos) {
        std::size_t next = path.find('/', pos + 1);
        std::string part = path.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        bool hardened = !part.empty() && part.back() == '\'';
        if (hardened) part.pop_back();
        std::uint32_t v = static_cast<std::uint32_t>(std::stoul(part));
        out.push_back(hardened ? (v | wallet::HARDENED) : v);
        pos = next;
    }
    return out;
}

// Big-endian 32-byte subtraction a - b (a >= b), for building high-S values independently.
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

Bytes add_one(Bytes v) {
    for (int i = 31; i >= 0; --i)
        if (++v[i] != 0) break;
    return v;
}

// Decodes a Base58Check extended private key into its chain code and key.
bool decode_xprv(const std::string& xprv, Bytes& chain, Bytes& key) {
    Bytes raw;
    if (!wallet::base58_decode(xprv, raw) || raw.size() != 82) return false;
    Bytes check = core::sha256d(raw.data(), 78);
    if (!std::equal(check.begin(), check.begin() + 4, raw.begin() + 78)) return false;
    if (raw[45] != 0x00) return false;
    chain.assign(raw.begin() + 13, raw.begin() + 45);
    key.assign(raw.begin() + 46, raw.begin() + 78);
    return true;
}

wallet::ExtKey master_of(const std::string& mnemonic, const std::string& passphrase = "") {
    core::SecretBytes seed;
    wallet::ExtKey master;
    EXPECT_TRUE(wallet::bip39_seed(mnemonic, passphrase, seed));
    EXPECT_TRUE(wallet::master_from_seed(seed, master));
    return master;
}

// --- word list -------------------------------------------------------------------------

// Lookups use binary search, and the seed depends on the exact list: check both.
TEST(KeysWordList, IsThePublishedSortedList) {
    EXPECT_EQ(wallet::BIP39_WORDS.front(), "abandon");
    EXPECT_EQ(wallet::BIP39_WORDS.back(), "zoo");
    EXPECT_TRUE(std::is_sorted(wallet::BIP39_WORDS.begin(), wallet::BIP39_WORDS.end()));
    EXPECT_EQ(std::adjacent_find(wallet::BIP39_WORDS.begin(), wallet::BIP39_WORDS.end()), wallet::BIP39_WORDS.end());
    std::string file;
    for (auto w : wallet::BIP39_WORDS) file.append(w).push_back('\n');
    EXPECT_EQ(to_hex(core::sha256(file)), "2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda");
}

// --- BIP39 -----------------------------------------------------------------------------

TEST(KeysBip39, PublishedVectors) {
    const json j = load_vectors("bip39-trezor.json");
    const std::string pass = j.value("passphrase", "");
    ASSERT_EQ(pass, "TREZOR");
    ASSERT_GE(j["english"].size(), 12u);
    for (const auto& v : j["english"]) {
        const std::string entropy_hex = v[0], mnemonic = v[1], seed_hex = v[2], xprv = v[3];
        SCOPED_TRACE(mnemonic);
        const Bytes entropy = from_hex(entropy_hex);

        std::string words;
        ASSERT_TRUE(wallet::entropy_to_mnemonic(entropy, words));
        EXPECT_EQ(words, mnemonic);
        core::SecretBytes back;
        ASSERT_TRUE(wallet::mnemonic_to_entropy(mnemonic, back));
        EXPECT_EQ(to_hex(back.bytes()), entropy_hex);

        // Only 12-word mnemonics are wallet mnemonics.
        const bool twelve = entropy.size() == 16;
        EXPECT_EQ(wallet::validate_mnemonic(mnemonic), twelve);
        std::string twelve_words;
        EXPECT_EQ(wallet::mnemonic_from_entropy(entropy, twelve_words), twelve);
        if (twelve) {
            EXPECT_EQ(twelve_words, mnemonic);
        }

        core::SecretBytes seed;
        ASSERT_TRUE(wallet::bip39_seed(mnemonic, pass, seed));
        EXPECT_EQ(to_hex(seed.bytes()), seed_hex);

        Bytes chain, key;
        ASSERT_TRUE(decode_xprv(xprv, chain, key));
        wallet::ExtKey master;
        ASSERT_TRUE(wallet::master_from_seed(seed, master));
        EXPECT_EQ(to_hex(master.key.data(), 32), to_hex(key));
        EXPECT_EQ(to_hex(master.chain.data(), 32), to_hex(chain));
    }
}

TEST(KeysBip39, ValidationRules) {
    std::string twenty_four;
    for (int i = 0; i < 23; ++i) twenty_four += "abandon ";
    twenty_four += "art";  // the valid 24-word all-zero mnemonic
    struct Case {
        const char* name;
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"reference", ABANDON_ABOUT, true},
        {"capitalised word", "Abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon ABANDON About",
         true},
        {"runs of spaces and tabs", "  abandon\tabandon  abandon abandon \t abandon abandon abandon abandon abandon "
                                    "abandon abandon about\t",
         true},
        {"24 words", twenty_four, false},
        {"11 words", "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about", false},
        {"13 words", std::string(ABANDON_ABOUT) + " abandon", false},
        {"bad checksum", "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon",
         false},
        {"unknown word", "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandonn about",
         false},
        {"newline is not a separator", "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon "
                                       "abandon\nabout",
         false},
        {"empty", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(wallet::validate_mnemonic(c.text), c.valid) << c.name;
    core::SecretBytes entropy;
    ASSERT_TRUE(wallet::mnemonic_to_entropy(twenty_four, entropy));
    EXPECT_EQ(to_hex(entropy.bytes()), std::string(64, '0'));
}

// The seed takes the text exactly as stored: a case or spacing variant that validates
// still gives another seed.
TEST(KeysBip39, SeedUsesTextAsIs) {
    const std::string capital =
        "Abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
    const std::string double_space =
        "abandon  abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
    ASSERT_TRUE(wallet::validate_mnemonic(capital));
    ASSERT_TRUE(wallet::validate_mnemonic(double_space));
    core::SecretBytes a, b, c, d;
    ASSERT_TRUE(wallet::bip39_seed(ABANDON_ABOUT, "", a));
    ASSERT_TRUE(wallet::bip39_seed(capital, "", b));
    ASSERT_TRUE(wallet::bip39_seed(double_space, "", c));
    ASSERT_TRUE(wallet::bip39_seed(ABANDON_ABOUT, "TREZOR", d));
    EXPECT_EQ(a.size(), 64u);
    EXPECT_NE(a.bytes(), b.bytes());
    EXPECT_NE(a.bytes(), c.bytes());
    EXPECT_NE(a.bytes(), d.bytes());
    Bytes expected;
    ASSERT_TRUE(core::pbkdf2_sha512(ABANDON_ABOUT, "mnemonic", 2048, 64, expected));
    EXPECT_EQ(a.bytes(), expected);
}

TEST(KeysBip39, EntropySizes) {
    std::string out = "stale";
    for (std::size_t n : {0u, 15u, 17u, 33u}) {
        EXPECT_FALSE(wallet::entropy_to_mnemonic(Bytes(n, 0x11), out)) << n;
        EXPECT_TRUE(out.empty());
    }
    for (std::size_t n : {16u, 20u, 24u, 28u, 32u}) {
        Bytes entropy;
        ASSERT_TRUE(core::random_bytes(n, entropy));
        ASSERT_TRUE(wallet::entropy_to_mnemonic(entropy, out)) << n;
        EXPECT_EQ(static_cast<std::size_t>(std::count(out.begin(), out.end(), ' ')) + 1, n * 3 / 4) << n;
        core::SecretBytes back;
        ASSERT_TRUE(wallet::mnemonic_to_entropy(out, back)) << n;
        EXPECT_EQ(back.bytes(), entropy) << n;
    }
    EXPECT_FALSE(wallet::mnemonic_from_entropy(Bytes(32, 0), out));
}

// --- BIP32 -----------------------------------------------------------------------------

TEST(KeysBip32, PublishedVectors) {
    const json j = load_vectors("bip32.json");
    ASSERT_EQ(j["vectors"].size(), 3u);
    for (const auto& v : j["vectors"]) {
        const Bytes seed = from_hex(v["seed"].get<std::string>());
        wallet::ExtKey master;
        ASSERT_TRUE(wallet::master_from_seed(seed.data(), seed.size(), master));
        for (const auto& el : v["chain"]) {
            const std::string path = el["path"];
            SCOPED_TRACE(path);
            const auto indices = parse_path(path);

            std::string priv, pub, address;
            ASSERT_TRUE(wallet::derive_path_from_master(master, indices, priv, pub, address));
            EXPECT_EQ(priv, el["private_key"]);
            EXPECT_EQ(pub, el["public_key"]);
            EXPECT_EQ(address, wallet::address_from_pub(pub));

            // Step by step, for the chain codes.
            wallet::ExtKey k = master;
            for (auto i : indices) ASSERT_TRUE(wallet::derive_child(k, i, k));
            EXPECT_EQ(to_hex(k.chain.data(), 32), el["chain_code"]);

            // The extended key text carries the same chain code and key.
            Bytes chain, key;
            ASSERT_TRUE(decode_xprv(el["xprv"], chain, key));
            EXPECT_EQ(to_hex(chain), el["chain_code"]);
            EXPECT_EQ(to_hex(key), el["private_key"]);
        }
    }
}

TEST(KeysBip32, ReferenceWalletAddresses) {
    const wallet::ExtKey master = master_of(ABANDON_ABOUT);
    const std::uint32_t H = wallet::HARDENED;
    struct Case {
        std::vector<std::uint32_t> path;
        const char* address;
    };
    const Case cases[] = {
        {{44 | H, 236 | H, 1 | H, 0, 0}, "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf"},
        {{44 | H, 236 | H, 100 | H, 0, 0}, "1Hg7Jm7G3DUetk4vxbAdjSf49qq3zbp8g6"},
        {{44 | H, 236 | H, 5 | H, 0, 0}, "1Hyoxs2Lp5dKW95bFyKh2JCtwsuS8PqML8"},
    };
    for (const auto& c : cases) {
        std::string priv, pub, address;
        ASSERT_TRUE(wallet::derive_path_from_master(master, c.path, priv, pub, address));
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(priv.size(), 64u);
        std::string pub_again;
        ASSERT_TRUE(wallet::pub_from_priv(priv, pub_again));
        EXPECT_EQ(pub_again, pub);
    }
}

TEST(KeysBip32, RejectsUnusableInputs) {
    wallet::ExtKey zero, out;
    for (auto i : {0u, wallet::HARDENED}) EXPECT_FALSE(wallet::derive_child(zero, i, out)) << i;
    std::string priv = "x", pub = "y", address = "z";
    EXPECT_FALSE(wallet::derive_path_from_master(zero, {wallet::HARDENED, 1}, priv, pub, address));
    EXPECT_TRUE(priv.empty() && pub.empty() && address.empty());

    const Bytes seed(65, 1), short_seed(15, 1);
    wallet::ExtKey m;
    EXPECT_FALSE(wallet::master_from_seed(seed.data(), seed.size(), m));
    EXPECT_FALSE(wallet::master_from_seed(short_seed.data(), short_seed.size(), m));
    EXPECT_TRUE(wallet::master_from_seed(seed.data(), 64, m));
}

// A hardened and a normal child of the same index differ, and derivation does not
// depend on whether the output aliases the input.
TEST(KeysBip32, HardenedBitAndAliasing) {
    const wallet::ExtKey master = master_of(ABANDON_ABOUT);
    wallet::ExtKey normal, hardened, in_place = master;
    ASSERT_TRUE(wallet::derive_child(master, 7, normal));
    ASSERT_TRUE(wallet::derive_child(master, 7 | wallet::HARDENED, hardened));
    ASSERT_TRUE(wallet::derive_child(in_place, 7, in_place));
    EXPECT_NE(normal.key, hardened.key);
    EXPECT_EQ(in_place.key, normal.key);
    EXPECT_EQ(in_place.chain, normal.chain);
}

// --- Base58 and addresses --------------------------------------------------------------

TEST(KeysBase58, RoundTripsAndLeadingZeros) {
    struct Case {
        Bytes raw;
        const char* text;
    };
    const Case cases[] = {
        {{}, ""},
        {{0x00}, "1"},
        {{0x00, 0x00, 0x01}, "112"},
        {{0x39}, "z"},
        {{0x3a}, "21"},
        {{0x00, 0xff}, "15Q"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wallet::base58_encode(c.raw), c.text) << c.text;
        Bytes back;
        if (*c.text) {
            ASSERT_TRUE(wallet::base58_decode(c.text, back)) << c.text;
            EXPECT_EQ(back, c.raw) << c.text;
        }
    }
    Bytes out;
    EXPECT_FALSE(wallet::base58_decode("", out));
    for (const char* bad : {"10", "1O", "1I", "1l", "1+", "1 "}) EXPECT_FALSE(wallet::base58_decode(bad, out)) << bad;
    // Every extended key of the BIP32 vectors re-encodes to itself.
    const json j = load_vectors("bip32.json");
    for (const auto& v : j["vectors"])
        for (const auto& el : v["chain"])
            for (const char* field : {"xprv", "xpub"}) {
                const std::string text = el[field];
                Bytes raw;
                ASSERT_TRUE(wallet::base58_decode(text, raw)) << text;
                EXPECT_EQ(raw.size(), 82u) << text;
                EXPECT_EQ(wallet::base58_encode(raw), text);
            }
}

TEST(KeysAddress, DecodeRules) {
    const std::string good = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";
    Bytes h20;
    ASSERT_TRUE(wallet::hash160_from_address(good, h20));
    ASSERT_EQ(h20.size(), 20u);
    EXPECT_EQ(wallet::address_from_hash160(h20), good);

    // A payload of version 0x05 with a correct checksum.
    Bytes p2sh{0x05};
    p2sh.insert(p2sh.end(), h20.begin(), h20.end());
    Bytes check = core::sha256d(p2sh);
    p2sh.insert(p2sh.end(), check.begin(), check.begin() + 4);
    const std::string version5 = wallet::base58_encode(p2sh);

    // 26 bytes with a correct checksum over the first 22 (one extra hash byte).
    Bytes longer{0x00};
    longer.insert(longer.end(), h20.begin(), h20.end());
    longer.push_back(0x42);
    check = core::sha256d(longer);
    longer.insert(longer.end(), check.begin(), check.begin() + 4);
    const std::string too_many_bytes = wallet::base58_encode(longer);

    std::string wrong_check = good;
    wrong_check.back() = wrong_check.back() == 'f' ? 'g' : 'f';

    auto replace_at = [&](std::size_t i, char c) {
        std::string s = good;
        s[i] = c;
        return s;
    };
    struct Case {
        const char* name;
        std::string text;
    };
    const Case bad[] = {
        {"25 characters", good.substr(0, 25)},
        {"36 characters", good + "11"},
        {"zero", replace_at(5, '0')},
        {"capital O", replace_at(5, 'O')},
        {"capital I", replace_at(5, 'I')},
        {"small l", replace_at(5, 'l')},
        {"wrong checksum", wrong_check},
        {"version 0x05", version5},
        {"26 decoded bytes", too_many_bytes},
        {"empty", ""},
    };
    for (const auto& c : bad) {
        Bytes out{1};
        EXPECT_FALSE(wallet::hash160_from_address(c.text, out)) << c.name;
        EXPECT_TRUE(out.empty()) << c.name;
    }

    // All-zero hash: every leading zero byte becomes "1".
    const std::string burn = wallet::address_from_hash160(Bytes(20, 0));
    EXPECT_EQ(burn.substr(0, 21), std::string(21, '1'));
    EXPECT_NE(burn[21], '1');
    ASSERT_TRUE(wallet::hash160_from_address(burn, h20));
    EXPECT_EQ(h20, Bytes(20, 0));
    EXPECT_EQ(wallet::address_from_hash160(Bytes(19, 0)), "");
}

TEST(KeysAddress, PublicAndPrivateKeyForms) {
    // Known key: the signed-message vectors' key, public key and address.
    const json j = load_vectors("signed-message.json");
    const std::string priv = j["private_key"], pub = j["public_key"], addr = j["address"];
    std::string got;
    ASSERT_TRUE(wallet::pub_from_priv(priv, got));
    EXPECT_EQ(got, pub);
    EXPECT_EQ(wallet::address_from_pub(pub), addr);
    std::string upper = priv;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    ASSERT_TRUE(wallet::pub_from_priv(upper, got));
    EXPECT_EQ(got, pub);

    // Scalars 1 and n-1 give G and -G.
    const std::string one = std::string(63, '0') + "1";
    const std::string n_minus_1 = to_hex(sub32(from_hex(N_HEX), from_hex(one)));
    ASSERT_TRUE(wallet::pub_from_priv(one, got));
    EXPECT_EQ(got, std::string("02") + G_X_HEX);
    ASSERT_TRUE(wallet::pub_from_priv(n_minus_1, got));
    EXPECT_EQ(got, std::string("03") + G_X_HEX);

    for (const std::string& bad : {std::string(64, '0'), std::string(N_HEX), std::string("ff") + N_HEX + "", priv.substr(2),
                                   priv + "00", priv.substr(1), std::string(63, '0') + "g", std::string()}) {
        got = "stale";
        EXPECT_FALSE(wallet::pub_from_priv(bad, got)) << bad;
        EXPECT_TRUE(got.empty());
    }

    EXPECT_EQ(wallet::address_from_pub(j["public_key_uncompressed"].get<std::string>()), "");
    EXPECT_EQ(wallet::address_from_pub(pub.substr(2)), "");
    EXPECT_EQ(wallet::address_from_pub(pub + "0"), "");
}

TEST(KeysAddress, P2pkhScript) {
    Bytes h20;
    ASSERT_TRUE(wallet::hash160_from_address("1Hg7Jm7G3DUetk4vxbAdjSf49qq3zbp8g6", h20));
    const Bytes script = wallet::p2pkh_script(h20);
    ASSERT_EQ(script.size(), 25u);
    EXPECT_EQ(to_hex(script), "76a914" + to_hex(h20) + "88ac");
    EXPECT_TRUE(wallet::p2pkh_script(Bytes(19, 0)).empty());
    EXPECT_TRUE(wallet::p2pkh_script(Bytes(21, 0)).empty());
}

// --- ECDSA -----------------------------------------------------------------------------

bool is_low(const Bytes& s) { return to_hex(s) <= HALF_N_HEX; }  // same-length lowercase hex sorts numerically

TEST(KeysEcdsa, LowSNormaliser) {
    const Bytes n = from_hex(N_HEX), half = from_hex(HALF_N_HEX);
    const Bytes one = from_hex(std::string(63, '0') + "1");
    const Bytes above_half = add_one(half);
    const Bytes mid = from_hex("3c6cb8d0f6a264c91ea8b5030fadaa8e538b020f0a387421a12de9319dc93368");
    struct Case {
        const char* name;
        Bytes in, out;
    };
    const Case cases[] = {
        {"one", one, one},
        {"low value", mid, mid},
        {"n/2 stays", half, half},
        {"n/2 + 1 flips to n/2", above_half, half},
        {"n - 1 flips to 1", sub32(n, one), one},
        {"high value flips", sub32(n, mid), mid},
    };
    for (const auto& c : cases) {
        Bytes out;
        ASSERT_TRUE(wallet::low_s(c.in, out)) << c.name;
        EXPECT_EQ(to_hex(out), to_hex(c.out)) << c.name;
    }
    Bytes out;
    EXPECT_FALSE(wallet::low_s(Bytes(32, 0), out));
    EXPECT_FALSE(wallet::low_s(n, out));
    EXPECT_FALSE(wallet::low_s(Bytes(31, 1), out));
}

// Every signature comes out low-S, verifies, and recovers to the signer with exactly
// one of the ids 0..3. With the library's random nonce about half the raw signatures
// are high, so the normalisation is exercised many times over.
TEST(KeysEcdsa, SignaturesAreLowAndRecoverToSigner) {
    const json j = load_vectors("signed-message.json");
    const std::string priv = j["private_key"];
    const Bytes pub = from_hex(j["public_key"].get<std::string>());
    const Bytes pub65 = from_hex(j["public_key_uncompressed"].get<std::string>());
    for (int i = 0; i < 48; ++i) {
        const Bytes digest = core::sha256("message " + std::to_string(i));
        Bytes der, r, s;
        ASSERT_TRUE(wallet::sign_digest(priv, digest, der)) << i;
        ASSERT_TRUE(wallet::der_to_rs(der, r, s)) << i;
        EXPECT_TRUE(is_low(s)) << i;
        EXPECT_TRUE(wallet::verify_digest(pub, digest, r, s)) << i;
        EXPECT_TRUE(wallet::verify_digest(pub65, digest, r, s)) << i;
        EXPECT_FALSE(wallet::verify_digest(pub, core::sha256(digest), r, s)) << i;

        // The high-S twin verifies too, and normalises back.
        const Bytes high = sub32(from_hex(N_HEX), s);
        EXPECT_TRUE(wallet::verify_digest(pub, digest, r, high)) << i;
        Bytes back;
        ASSERT_TRUE(wallet::low_s(high, back));
        EXPECT_EQ(back, s);

        int matches = 0;
        for (int id = 0; id < 4; ++id) {
            Bytes rec;
            if (wallet::recover_pubkey(digest, r, s, id, rec) && rec == pub) ++matches;
        }
        EXPECT_EQ(matches, 1) << i;
    }
}

TEST(KeysEcdsa, SignRejectsBadInputs) {
    const std::string priv = std::string(63, '0') + "7";
    Bytes der{1};
    EXPECT_FALSE(wallet::sign_digest(priv, Bytes(31, 1), der));
    EXPECT_TRUE(der.empty());
    EXPECT_FALSE(wallet::sign_digest(priv, Bytes(33, 1), der));
    EXPECT_FALSE(wallet::sign_digest(std::string(64, '0'), Bytes(32, 1), der));
    EXPECT_FALSE(wallet::sign_digest(N_HEX, Bytes(32, 1), der));
    EXPECT_FALSE(wallet::sign_digest(priv.substr(2), Bytes(32, 1), der));
    EXPECT_TRUE(wallet::sign_digest(priv, Bytes(32, 1), der));
}

TEST(KeysEcdsa, DerConversions) {
    // r with its top bit set needs a 0x00 pad in DER; a short s loses its leading zeros.
    const Bytes r = from_hex("80" + std::string(62, '1'));
    const Bytes s = from_hex("0000" + std::string(60, '2'));
    Bytes der;
    ASSERT_TRUE(wallet::rs_to_der(r, s, der));
    EXPECT_EQ(to_hex(der), "3043" "0221" "00" + to_hex(r) + "021e" + std::string(60, '2'));
    Bytes r2, s2;
    ASSERT_TRUE(wallet::der_to_rs(der, r2, s2));
    EXPECT_EQ(r2, r);
    EXPECT_EQ(s2, s);

    Bytes trailing = der;
    trailing.push_back(0);
    Bytes non_minimal = from_hex("3008" "020300" "0001" "020101");  // r = 1 with two needless zero bytes
    Bytes negative = from_hex("3006" "020181" "020101");
    Bytes wide = from_hex("3026" "022101" + std::string(64, '1') + "020101");  // 33-byte r
    for (const Bytes& bad : {trailing, non_minimal, negative, wide, Bytes{}, Bytes(der.begin(), der.end() - 1)}) {
        Bytes a{1}, b{1};
        EXPECT_FALSE(wallet::der_to_rs(bad, a, b)) << to_hex(bad);
        EXPECT_TRUE(a.empty() && b.empty());
    }
    EXPECT_FALSE(wallet::rs_to_der(Bytes(33, 1), s, der));
    EXPECT_FALSE(wallet::rs_to_der({}, s, der));
}

TEST(KeysEcdsa, RecoveryRejectsBadInputs) {
    const Bytes digest = core::sha256(std::string_view("x"));
    const Bytes r = from_hex(std::string(63, '0') + "5"), s = from_hex(std::string(63, '0') + "9");
    const Bytes n_minus_1 = sub32(from_hex(N_HEX), from_hex(std::string(63, '0') + "1"));
    Bytes out;
    EXPECT_FALSE(wallet::recover_pubkey(digest, r, s, -1, out));
    EXPECT_FALSE(wallet::recover_pubkey(digest, r, s, 4, out));
    EXPECT_FALSE(wallet::recover_pubkey(digest, Bytes(32, 0), s, 0, out));
    EXPECT_FALSE(wallet::recover_pubkey(digest, r, Bytes(32, 0), 0, out));
    EXPECT_FALSE(wallet::recover_pubkey(digest, from_hex(N_HEX), s, 0, out));
    EXPECT_FALSE(wallet::recover_pubkey(Bytes(31, 0), r, s, 0, out));
    // r + n is beyond the field prime for any r above p - n (about 2^128).
    EXPECT_FALSE(wallet::recover_pubkey(digest, n_minus_1, s, 2, out));
    EXPECT_FALSE(wallet::recover_pubkey(digest, n_minus_1, s, 3, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
