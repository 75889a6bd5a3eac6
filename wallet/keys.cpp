#include "wallet/keys.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/crypto.h"
#include "core/hex.h"

namespace wallet {

namespace {

// --- OpenSSL ownership -------------------------------------------------------------

struct BnFree {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
struct BnCtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
struct PointFree {
    void operator()(EC_POINT* p) const { EC_POINT_clear_free(p); }
};
struct SigFree {
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct ParamBldFree {
    void operator()(OSSL_PARAM_BLD* b) const { OSSL_PARAM_BLD_free(b); }
};
struct ParamFree {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
struct GroupFree {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};

using Bn = std::unique_ptr<BIGNUM, BnFree>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxFree>;
using Point = std::unique_ptr<EC_POINT, PointFree>;
using Sig = std::unique_ptr<ECDSA_SIG, SigFree>;
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

// Big numbers holding secrets come from the secure allocator and are cleared on free.
Bn secret_bn() {
    Bn b(BN_secure_new());
    if (b) BN_set_flags(b.get(), BN_FLG_CONSTTIME);
    return b;
}

// --- secp256k1 -------------------------------------------------------------------------

// The group and its constants, built once. Point arithmetic only reads the group, so
// one instance serves every thread.
struct Curve {
    std::unique_ptr<EC_GROUP, GroupFree> group;
    Bn n, half_n, p;
    std::uint8_t n_bytes[32] = {};
    bool ok = false;
};

const Curve& curve() {
    static const Curve c = [] {
        Curve k;
        k.group.reset(EC_GROUP_new_by_curve_name(NID_secp256k1));
        k.n.reset(BN_new());
        k.half_n.reset(BN_new());
        k.p.reset(BN_new());
        if (!k.group || !k.n || !k.half_n || !k.p) return k;
        if (BN_copy(k.n.get(), EC_GROUP_get0_order(k.group.get())) == nullptr) return k;
        if (BN_rshift1(k.half_n.get(), k.n.get()) != 1) return k;
        if (EC_GROUP_get_curve(k.group.get(), k.p.get(), nullptr, nullptr, nullptr) != 1) return k;
        if (BN_bn2binpad(k.n.get(), k.n_bytes, 32) != 32) return k;
        k.ok = true;
        return k;
    }();
    return c;
}

// Big-endian 32-byte scalar in 1..n-1.
bool scalar_in_range(const std::uint8_t* k32) {
    const Curve& c = curve();
    if (!c.ok) return false;
    bool zero = std::all_of(k32, k32 + 32, [](std::uint8_t b) { return b == 0; });
    return !zero && std::memcmp(k32, c.n_bytes, 32) < 0;
}

bool encode_compressed(const EC_POINT* pt, BN_CTX* ctx, std::uint8_t out33[33]) {
    return EC_POINT_point2oct(curve().group.get(), pt, POINT_CONVERSION_COMPRESSED, out33, 33, ctx) == 33;
}

// k·G in compressed form; k must already be in range.
bool pub_from_scalar(const std::uint8_t* k32, std::uint8_t out33[33]) {
    const Curve& c = curve();
    if (!c.ok) return false;
    BnCtx ctx(BN_CTX_secure_new());
    Bn k = secret_bn();
    Point pt(EC_POINT_new(c.group.get()));
    if (!ctx || !k || !pt) return false;
    if (BN_bin2bn(k32, 32, k.get()) == nullptr) return false;
    if (EC_POINT_mul(c.group.get(), pt.get(), k.get(), nullptr, nullptr, ctx.get()) != 1) return false;
    return encode_compressed(pt.get(), ctx.get(), out33);
}

// Decodes a private key hex into 32 bytes in range; the buffer is wiped on failure.
bool decode_priv(std::string_view priv_hex, core::SecretBytes& key) {
    core::Bytes raw;
    if (!core::from_hex(priv_hex, raw) || raw.size() != 32 || !scalar_in_range(raw.data())) {
        core::cleanse(raw);
        return false;
    }
    key = core::SecretBytes(std::move(raw));
    return true;
}

// An EVP key for the library's ECDSA. priv may be null for a verification key.
Pkey make_pkey(const std::uint8_t* priv32, const std::uint8_t* pub, std::size_t pub_len) {
    std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree> bld(OSSL_PARAM_BLD_new());
    if (!bld) return nullptr;
    // A secure big number makes the parameter builder put the key in secure, cleared
    // memory as well.
    Bn d;
    if (priv32 != nullptr) {
        d = secret_bn();
        if (!d || BN_bin2bn(priv32, 32, d.get()) == nullptr) return nullptr;
    }
    if (OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, "secp256k1", 0) != 1 ||
        OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, pub, pub_len) != 1 ||
        (d && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_PRIV_KEY, d.get()) != 1))
        return nullptr;
    std::unique_ptr<OSSL_PARAM, ParamFree> params(OSSL_PARAM_BLD_to_param(bld.get()));
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
    EVP_PKEY* raw = nullptr;
    int selection = d ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY;
    if (EVP_PKEY_fromdata(ctx.get(), &raw, selection, params.get()) != 1) return nullptr;
    return Pkey(raw);
}

bool bn_to_32(const BIGNUM* b, core::Bytes& out) {
    out.assign(32, 0);
    if (BN_is_negative(b) || BN_num_bytes(b) > 32 || BN_bn2binpad(b, out.data(), 32) != 32) {
        out.clear();
        return false;
    }
    return true;
}

void put_be32(std::uint32_t v, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

// --- Base58 ----------------------------------------------------------------------------

constexpr char B58_ALPHABET[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

int b58_value(char c) {
    const char* p = std::strchr(B58_ALPHABET, c);
    return (c != '\0' && p != nullptr) ? static_cast<int>(p - B58_ALPHABET) : -1;
}

// --- BIP39 -----------------------------------------------------------------------------

// Index of a lower-case word in the (alphabetically sorted) list, or -1.
int word_index(std::string_view w) {
    auto it = std::lower_bound(BIP39_WORDS.begin(), BIP39_WORDS.end(), w);
    if (it == BIP39_WORDS.end() || *it != w) return -1;
    return static_cast<int>(it - BIP39_WORDS.begin());
}

// Splits at spaces and tabs and looks every lower-cased word up. False on an unknown
// word. The indices are secret material: the caller wipes them.
bool mnemonic_indices(std::string_view text, std::vector<int>& indices) {
    indices.clear();
    std::string word;
    word.reserve(32);  // list words have at most 8 letters; avoids copies on growth
    bool ok = true;
    auto flush = [&] {
        if (word.empty()) return;
        int idx = word_index(word);
        if (idx < 0) ok = false;
        indices.push_back(idx);
        core::cleanse(word);
    };
    for (char ch : text) {
        if (ch == ' ' || ch == '\t') {
            flush();
        } else {
            word.push_back((ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch);
        }
    }
    flush();
    core::cleanse(word);
    return ok;
}

void wipe_indices(std::vector<int>& v) {
    if (!v.empty()) core::cleanse(v.data(), v.size() * sizeof(int));
    v.clear();
}

bool entropy_size_ok(std::size_t n) { return n >= 16 && n <= 32 && n % 4 == 0; }

}  // namespace

// --- Base58 and addresses ------------------------------------------------------------

std::string base58_encode(const std::uint8_t* data, std::size_t len) {
    std::size_t zeros = 0;
    while (zeros < len && data[zeros] == 0) ++zeros;
    // Base-58 digits, least significant first; log(256)/log(58) < 1.37.
    std::vector<std::uint8_t> digits;
    digits.reserve((len - zeros) * 137 / 100 + 1);
    for (std::size_t i = zeros; i < len; ++i) {
        unsigned carry = data[i];
        for (auto& d : digits) {
            carry += static_cast<unsigned>(d) << 8;
            d = static_cast<std::uint8_t>(carry % 58);
            carry /= 58;
        }
        while (carry > 0) {
            digits.push_back(static_cast<std::uint8_t>(carry % 58));
            carry /= 58;
        }
    }
    std::string out(zeros, '1');
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) out.push_back(B58_ALPHABET[*it]);
    return out;
}

bool base58_decode(std::string_view text, core::Bytes& out) {
    out.clear();
    if (text.empty()) return false;
    std::size_t ones = 0;
    while (ones < text.size() && text[ones] == '1') ++ones;
    // Bytes, least significant first.
    core::Bytes bytes;
    bytes.reserve(text.size());
    for (std::size_t i = ones; i < text.size(); ++i) {
        int v = b58_value(text[i]);
        if (v < 0) return false;
        unsigned carry = static_cast<unsigned>(v);
        for (auto& b : bytes) {
            carry += static_cast<unsigned>(b) * 58;
            b = static_cast<std::uint8_t>(carry & 0xff);
            carry >>= 8;
        }
        while (carry > 0) {
            bytes.push_back(static_cast<std::uint8_t>(carry & 0xff));
            carry >>= 8;
        }
    }
    out.assign(ones, 0);
    out.insert(out.end(), bytes.rbegin(), bytes.rend());
    return true;
}

std::string address_from_hash160(const core::Bytes& h20) {
    if (h20.size() != 20) return {};
    core::Bytes payload;
    payload.reserve(25);
    payload.push_back(ADDRESS_VERSION);
    payload.insert(payload.end(), h20.begin(), h20.end());
    core::Bytes check = core::sha256d(payload);
    if (check.size() != 32) return {};
    payload.insert(payload.end(), check.begin(), check.begin() + 4);
    return base58_encode(payload);
}

bool hash160_from_address(std::string_view text, core::Bytes& h20) {
    h20.clear();
    if (text.size() < 26 || text.size() > 35) return false;
    core::Bytes raw;
    if (!base58_decode(text, raw) || raw.size() != 25 || raw[0] != ADDRESS_VERSION) return false;
    core::Bytes check = core::sha256d(raw.data(), 21);
    if (check.size() != 32 || !std::equal(check.begin(), check.begin() + 4, raw.begin() + 21)) return false;
    h20.assign(raw.begin() + 1, raw.begin() + 21);
    return true;
}

std::string address_from_pub(std::string_view pub_hex) {
    core::Bytes pub;
    if (!core::from_hex(pub_hex, pub) || pub.size() != 33) return {};
    return address_from_hash160(core::hash160(pub));
}

bool pub_from_priv(std::string_view priv_hex, std::string& pub_hex) {
    pub_hex.clear();
    core::SecretBytes key;
    if (!decode_priv(priv_hex, key)) return false;
    std::uint8_t pub[33];
    if (!pub_from_scalar(key.data(), pub)) return false;
    pub_hex = core::to_hex(pub, sizeof pub);
    return true;
}

core::Bytes p2pkh_script(const core::Bytes& h20) {
    if (h20.size() != 20) return {};
    core::Bytes script{0x76, 0xa9, 0x14};
    script.insert(script.end(), h20.begin(), h20.end());
    script.push_back(0x88);
    script.push_back(0xac);
    return script;
}

std::string p2pkh_address(const core::Bytes& s) {
    if (s.size() != 25 || s[0] != 0x76 || s[1] != 0xa9 || s[2] != 0x14 || s[23] != 0x88 || s[24] != 0xac) return "";
    return address_from_hash160(core::Bytes(s.begin() + 3, s.begin() + 23));
}

// --- BIP39 ---------------------------------------------------------------------------

bool entropy_to_mnemonic(const core::Bytes& entropy, std::string& out) {
    core::cleanse(out);
    if (!entropy_size_ok(entropy.size())) return false;
    core::Bytes hash = core::sha256(entropy);
    if (hash.size() != 32) return false;
    // Entropy followed by its checksum bits (entropy bits / 32 of them).
    core::SecretBytes bits(entropy.size() + 1);
    std::memcpy(bits.data(), entropy.data(), entropy.size());
    bits.data()[entropy.size()] = hash[0];
    core::cleanse(hash);
    const std::size_t words = entropy.size() * 8 * 33 / 32 / 11;
    std::string text;
    text.reserve(words * 9);
    for (std::size_t w = 0; w < words; ++w) {
        unsigned idx = 0;
        for (std::size_t b = 0; b < 11; ++b) {
            std::size_t bit = w * 11 + b;
            idx = (idx << 1) | ((bits.data()[bit / 8] >> (7 - bit % 8)) & 1u);
        }
        if (w > 0) text.push_back(' ');
        text.append(BIP39_WORDS[idx]);
        idx = 0;
    }
    out.swap(text);
    core::cleanse(text);
    return true;
}

bool mnemonic_from_entropy(const core::Bytes& entropy16, std::string& out) {
    if (entropy16.size() != 16) {
        core::cleanse(out);
        return false;
    }
    return entropy_to_mnemonic(entropy16, out);
}

bool mnemonic_to_entropy(std::string_view text, core::SecretBytes& entropy) {
    entropy.clear();
    std::vector<int> idx;
    bool ok = mnemonic_indices(text, idx);
    const std::size_t n = idx.size();
    if (!ok || n < 12 || n > 24 || n % 3 != 0) {
        wipe_indices(idx);
        return false;
    }
    const std::size_t total_bits = n * 11;
    const std::size_t ent_bytes = total_bits * 32 / 33 / 8;
    const std::size_t cs_bits = total_bits - ent_bytes * 8;
    core::SecretBytes bits(ent_bytes + 1);
    for (std::size_t w = 0; w < n; ++w) {
        for (std::size_t b = 0; b < 11; ++b) {
            std::size_t bit = w * 11 + b;
            if ((idx[w] >> (10 - b)) & 1) bits.data()[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
        }
    }
    wipe_indices(idx);
    core::Bytes hash = core::sha256(bits.data(), ent_bytes);
    if (hash.size() != 32) return false;
    const unsigned mask = (0xffu << (8 - cs_bits)) & 0xffu;
    ok = (hash[0] & mask) == (bits.data()[ent_bytes] & mask);
    core::cleanse(hash);
    if (!ok) return false;
    entropy.assign(bits.data(), ent_bytes);
    return true;
}

bool validate_mnemonic(std::string_view text) {
    std::vector<int> idx;
    bool ok = mnemonic_indices(text, idx) && idx.size() == 12;
    wipe_indices(idx);
    if (!ok) return false;
    core::SecretBytes entropy;
    return mnemonic_to_entropy(text, entropy);
}

bool bip39_seed(std::string_view mnemonic, std::string_view passphrase, core::SecretBytes& seed64) {
    seed64.clear();
    // Reserved up front so no reallocation leaves a copy of the passphrase behind.
    std::string salt;
    salt.reserve(8 + passphrase.size());
    salt.append("mnemonic").append(passphrase.data(), passphrase.size());
    core::SecretBytes seed(64);
    bool ok = core::pbkdf2_sha512(mnemonic, reinterpret_cast<const std::uint8_t*>(salt.data()), salt.size(),
                                  2048, seed.size(), seed.data());
    core::cleanse(salt);
    if (!ok) return false;
    seed64 = std::move(seed);
    return true;
}

// --- BIP32 ---------------------------------------------------------------------------

ExtKey::~ExtKey() { wipe(); }

void ExtKey::wipe() {
    core::cleanse(key.data(), key.size());
    core::cleanse(chain.data(), chain.size());
}

bool master_from_seed(const std::uint8_t* seed, std::size_t len, ExtKey& master) {
    master.wipe();
    if (seed == nullptr || len < 16 || len > 64) return false;
    static const char SEED_KEY[] = "Bitcoin seed";
    std::uint8_t i64[64];
    bool ok = core::hmac_sha512(reinterpret_cast<const std::uint8_t*>(SEED_KEY), sizeof SEED_KEY - 1, seed,
                                len, i64) &&
              scalar_in_range(i64);
    if (ok) {
        std::memcpy(master.key.data(), i64, 32);
        std::memcpy(master.chain.data(), i64 + 32, 32);
    }
    core::cleanse(i64, sizeof i64);
    return ok;
}

bool derive_child(const ExtKey& parent, std::uint32_t index, ExtKey& child) {
    const Curve& c = curve();
    // child may alias parent; work on locals and write it last.
    std::uint8_t data[37];
    std::uint8_t i64[64];
    std::uint8_t out[32];
    bool ok = c.ok && scalar_in_range(parent.key.data());
    if (ok) {
        if (index & HARDENED) {
            data[0] = 0x00;
            std::memcpy(data + 1, parent.key.data(), 32);
        } else {
            ok = pub_from_scalar(parent.key.data(), data);
        }
    }
    if (ok) {
        put_be32(index, data + 33);
        ok = core::hmac_sha512(parent.chain.data(), 32, data, sizeof data, i64);
    }
    // IL must be below n; the sum must not be zero. Either way this index has no key.
    if (ok) ok = std::memcmp(i64, c.n_bytes, 32) < 0;
    if (ok) {
        BnCtx ctx(BN_CTX_secure_new());
        Bn il = secret_bn(), k = secret_bn(), sum = secret_bn();
        ok = ctx && il && k && sum && BN_bin2bn(i64, 32, il.get()) != nullptr &&
             BN_bin2bn(parent.key.data(), 32, k.get()) != nullptr &&
             BN_mod_add(sum.get(), il.get(), k.get(), c.n.get(), ctx.get()) == 1 && !BN_is_zero(sum.get()) &&
             BN_bn2binpad(sum.get(), out, 32) == 32;
    }
    if (ok) {
        std::memcpy(child.key.data(), out, 32);
        std::memcpy(child.chain.data(), i64 + 32, 32);
    } else {
        child.wipe();
    }
    core::cleanse(data, sizeof data);
    core::cleanse(i64, sizeof i64);
    core::cleanse(out, sizeof out);
    return ok;
}

bool derive_path_from_master(const ExtKey& master, const std::vector<std::uint32_t>& path,
                             std::string& priv_hex, std::string& pub_hex, std::string& address) {
    core::cleanse(priv_hex);
    pub_hex.clear();
    address.clear();
    ExtKey k = master;
    for (std::uint32_t index : path)
        if (!derive_child(k, index, k)) return false;
    std::uint8_t pub[33];
    if (!scalar_in_range(k.key.data()) || !pub_from_scalar(k.key.data(), pub)) return false;
    pub_hex = core::to_hex(pub, sizeof pub);
    address = address_from_hash160(core::hash160(pub, sizeof pub));
    priv_hex = core::to_hex(k.key.data(), k.key.size());
    return !address.empty();
}

// --- ECDSA -----------------------------------------------------------------------------

bool low_s(const core::Bytes& s32, core::Bytes& out32) {
    out32.clear();
    const Curve& c = curve();
    if (!c.ok || s32.size() != 32 || !scalar_in_range(s32.data())) return false;
    Bn s(BN_bin2bn(s32.data(), 32, nullptr));
    if (!s) return false;
    if (BN_cmp(s.get(), c.half_n.get()) > 0 && BN_sub(s.get(), c.n.get(), s.get()) != 1) return false;
    return bn_to_32(s.get(), out32);
}

bool der_to_rs(const core::Bytes& der, core::Bytes& r32, core::Bytes& s32) {
    r32.clear();
    s32.clear();
    if (der.empty() || der.size() > 80) return false;
    const unsigned char* p = der.data();
    Sig sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size())));
    if (!sig || p != der.data() + der.size()) return false;
    // Re-encoding must give the same bytes, which rules out BER leniency.
    unsigned char* re = nullptr;
    int re_len = i2d_ECDSA_SIG(sig.get(), &re);
    bool canonical = re_len == static_cast<int>(der.size()) && std::memcmp(re, der.data(), der.size()) == 0;
    OPENSSL_free(re);
    if (!canonical) return false;
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(sig.get(), &r, &s);
    if (!bn_to_32(r, r32) || !bn_to_32(s, s32)) {
        r32.clear();
        s32.clear();
        return false;
    }
    return true;
}

bool rs_to_der(const core::Bytes& r, const core::Bytes& s, core::Bytes& der) {
    der.clear();
    if (r.empty() || s.empty() || r.size() > 32 || s.size() > 32) return false;
    Sig sig(ECDSA_SIG_new());
    Bn rb(BN_bin2bn(r.data(), static_cast<int>(r.size()), nullptr));
    Bn sb(BN_bin2bn(s.data(), static_cast<int>(s.size()), nullptr));
    if (!sig || !rb || !sb || ECDSA_SIG_set0(sig.get(), rb.get(), sb.get()) != 1) return false;
    rb.release();  // now owned by sig
    sb.release();
    unsigned char* buf = nullptr;
    int len = i2d_ECDSA_SIG(sig.get(), &buf);
    if (len <= 0) return false;
    der.assign(buf, buf + len);
    OPENSSL_free(buf);
    return true;
}

bool sign_digest(std::string_view priv_hex, const core::Bytes& digest32, core::Bytes& der) {
    der.clear();
    if (digest32.size() != 32) return false;
    core::SecretBytes key;
    if (!decode_priv(priv_hex, key)) return false;
    std::uint8_t pub[33];
    if (!pub_from_scalar(key.data(), pub)) return false;
    Pkey pkey = make_pkey(key.data(), pub, sizeof pub);
    key.clear();
    if (!pkey) return false;
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1) return false;
    std::size_t len = 0;
    if (EVP_PKEY_sign(ctx.get(), nullptr, &len, digest32.data(), digest32.size()) != 1 || len == 0) return false;
    core::Bytes raw(len);
    if (EVP_PKEY_sign(ctx.get(), raw.data(), &len, digest32.data(), digest32.size()) != 1) return false;
    raw.resize(len);
    core::Bytes r, s, s_low;
    if (!der_to_rs(raw, r, s) || !low_s(s, s_low)) return false;
    return rs_to_der(r, s_low, der);
}

bool verify_digest(const core::Bytes& pub, const core::Bytes& digest32, const core::Bytes& r32,
                   const core::Bytes& s32) {
    if (digest32.size() != 32 || r32.size() != 32 || s32.size() != 32) return false;
    bool form_ok = (pub.size() == 33 && (pub[0] == 0x02 || pub[0] == 0x03)) || (pub.size() == 65 && pub[0] == 0x04);
    if (!form_ok) return false;
    core::Bytes der;
    if (!rs_to_der(r32, s32, der)) return false;
    // Importing the point checks that it lies on the curve.
    Pkey pkey = make_pkey(nullptr, pub.data(), pub.size());
    if (!pkey) return false;
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return false;
    return EVP_PKEY_verify(ctx.get(), der.data(), der.size(), digest32.data(), digest32.size()) == 1;
}

bool recover_pubkey(const core::Bytes& digest32, const core::Bytes& r32, const core::Bytes& s32,
                    int recid, core::Bytes& pub33_out) {
    pub33_out.clear();
    const Curve& c = curve();
    if (!c.ok || recid < 0 || recid > 3 || digest32.size() != 32 || r32.size() != 32 || s32.size() != 32 ||
        !scalar_in_range(r32.data()) || !scalar_in_range(s32.data()))
        return false;
    BnCtx ctx(BN_CTX_new());
    Bn r(BN_bin2bn(r32.data(), 32, nullptr));
    Bn s(BN_bin2bn(s32.data(), 32, nullptr));
    Bn e(BN_bin2bn(digest32.data(), 32, nullptr));
    Bn x(BN_new()), rinv(BN_new()), u1(BN_new()), u2(BN_new());
    Point big_r(EC_POINT_new(c.group.get())), q(EC_POINT_new(c.group.get()));
    if (!ctx || !r || !s || !e || !x || !rinv || !u1 || !u2 || !big_r || !q) return false;
    // x = r, or r + n for the ids whose point wrapped past the order; it must be a field element.
    if (BN_copy(x.get(), r.get()) == nullptr) return false;
    if ((recid & 2) && BN_add(x.get(), x.get(), c.n.get()) != 1) return false;
    if (BN_cmp(x.get(), c.p.get()) >= 0) return false;
    if (EC_POINT_set_compressed_coordinates(c.group.get(), big_r.get(), x.get(), recid & 1, ctx.get()) != 1)
        return false;
    // Q = r^-1 (sR - eG) = (-e r^-1) G + (s r^-1) R
    if (BN_mod_inverse(rinv.get(), r.get(), c.n.get(), ctx.get()) == nullptr) return false;
    if (BN_nnmod(e.get(), e.get(), c.n.get(), ctx.get()) != 1) return false;
    if (BN_mod_sub(u1.get(), c.n.get(), e.get(), c.n.get(), ctx.get()) != 1) return false;
    if (BN_mod_mul(u1.get(), u1.get(), rinv.get(), c.n.get(), ctx.get()) != 1) return false;
    if (BN_mod_mul(u2.get(), s.get(), rinv.get(), c.n.get(), ctx.get()) != 1) return false;
    if (EC_POINT_mul(c.group.get(), q.get(), u1.get(), big_r.get(), u2.get(), ctx.get()) != 1) return false;
    if (EC_POINT_is_at_infinity(c.group.get(), q.get())) return false;
    std::uint8_t out[33];
    if (!encode_compressed(q.get(), ctx.get(), out)) return false;
    pub33_out.assign(out, out + 33);
    return true;
}

}  // namespace wallet
