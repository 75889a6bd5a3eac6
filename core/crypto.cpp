#include "core/crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace core {

namespace {

// Fetched algorithm objects are immutable and reference counted, so one fetch per
// process is shared by every thread; explicit fetches avoid a name lookup per call.
// They are deliberately never freed (they must outlive any late caller at exit).
const EVP_MD* md_by_name(const char* name) {
    return EVP_MD_fetch(nullptr, name, nullptr);
}
const EVP_MD* md_sha256() {
    static const EVP_MD* md = md_by_name("SHA2-256");
    return md;
}
const EVP_MD* md_sha512() {
    static const EVP_MD* md = md_by_name("SHA2-512");
    return md;
}
const EVP_MD* md_ripemd160() {
    static const EVP_MD* md = md_by_name("RIPEMD-160");
    return md;
}
EVP_MAC* mac_hmac() {
    static EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    return mac;
}
EVP_KDF* kdf_pbkdf2() {
    static EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "PBKDF2", nullptr);
    return kdf;
}
const EVP_CIPHER* cipher_aes256gcm() {
    static const EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
    return c;
}

struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct MacCtxFree {
    void operator()(EVP_MAC_CTX* c) const { EVP_MAC_CTX_free(c); }
};
struct KdfCtxFree {
    void operator()(EVP_KDF_CTX* c) const { EVP_KDF_CTX_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

bool digest_into(const EVP_MD* md, const std::uint8_t* data, std::size_t len, std::uint8_t* out) {
    if (md == nullptr) return false;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned int n = 0;
    return ctx && EVP_DigestInit_ex2(ctx.get(), md, nullptr) == 1 &&
           EVP_DigestUpdate(ctx.get(), data, len) == 1 &&
           EVP_DigestFinal_ex(ctx.get(), out, &n) == 1;
}

Bytes digest(const EVP_MD* md, std::size_t size, const std::uint8_t* data, std::size_t len) {
    Bytes out(size);
    if (!digest_into(md, data, len, out.data())) return {};
    return out;
}

bool pbkdf2(const char* digest_name, std::string_view pass, const std::uint8_t* salt,
            std::size_t salt_len, std::uint32_t iterations, std::size_t out_len, std::uint8_t* out) {
    if (iterations == 0 || out_len == 0 || out == nullptr || kdf_pbkdf2() == nullptr) return false;
    std::unique_ptr<EVP_KDF_CTX, KdfCtxFree> ctx(EVP_KDF_CTX_new(kdf_pbkdf2()));
    if (!ctx) return false;
    // pkcs5 = 1 switches off the SP 800-132 minimums (salt, iterations, key length),
    // which published short test vectors and BIP39's fixed salt do not meet.
    int pkcs5 = 1;
    uint64_t iter = iterations;
    // The library only reads these buffers; OSSL_PARAM takes non-const pointers.
    static const std::uint8_t EMPTY = 0;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>(digest_name), 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                          const_cast<char*>(pass.empty() ? reinterpret_cast<const char*>(&EMPTY) : pass.data()),
                                          pass.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT,
                                          const_cast<std::uint8_t*>(salt_len == 0 ? &EMPTY : salt), salt_len),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_ITER, &iter),
        OSSL_PARAM_construct_int(OSSL_KDF_PARAM_PKCS5, &pkcs5),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_KDF_derive(ctx.get(), out, out_len, params) != 1) {
        cleanse(out, out_len);
        return false;
    }
    return true;
}

}  // namespace

// --- digests ---------------------------------------------------------------------

Bytes sha256(const std::uint8_t* data, std::size_t len) {
    return digest(md_sha256(), SHA256_SIZE, data, len);
}

Bytes sha256d(const std::uint8_t* data, std::size_t len) {
    std::uint8_t first[SHA256_SIZE];
    if (!digest_into(md_sha256(), data, len, first)) return {};
    return digest(md_sha256(), SHA256_SIZE, first, sizeof first);
}

Bytes sha512(const std::uint8_t* data, std::size_t len) {
    return digest(md_sha512(), SHA512_SIZE, data, len);
}

Bytes ripemd160(const std::uint8_t* data, std::size_t len) {
    return digest(md_ripemd160(), RIPEMD160_SIZE, data, len);
}

Bytes hash160(const std::uint8_t* data, std::size_t len) {
    std::uint8_t first[SHA256_SIZE];
    if (!digest_into(md_sha256(), data, len, first)) return {};
    return digest(md_ripemd160(), RIPEMD160_SIZE, first, sizeof first);
}

// --- MAC and key derivation --------------------------------------------------------

bool hmac_sha512(const std::uint8_t* key, std::size_t key_len, const std::uint8_t* data,
                 std::size_t data_len, std::uint8_t* out64) {
    if (out64 == nullptr || mac_hmac() == nullptr) return false;
    std::unique_ptr<EVP_MAC_CTX, MacCtxFree> ctx(EVP_MAC_CTX_new(mac_hmac()));
    if (!ctx) return false;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>("SHA2-512"), 0),
        OSSL_PARAM_construct_end(),
    };
    // An empty HMAC key is legal (it is zero-padded); hand the library a real pointer.
    static const std::uint8_t EMPTY = 0;
    std::size_t n = 0;
    bool ok = EVP_MAC_init(ctx.get(), key_len == 0 ? &EMPTY : key, key_len, params) == 1 &&
              EVP_MAC_update(ctx.get(), data, data_len) == 1 &&
              EVP_MAC_final(ctx.get(), out64, &n, SHA512_SIZE) == 1 && n == SHA512_SIZE;
    if (!ok) cleanse(out64, SHA512_SIZE);
    return ok;
}

Bytes hmac_sha512(const Bytes& key, const Bytes& data) {
    Bytes out(SHA512_SIZE);
    if (!hmac_sha512(key.data(), key.size(), data.data(), data.size(), out.data())) return {};
    return out;
}

Bytes hmac_sha512(std::string_view key, std::string_view data) {
    Bytes out(SHA512_SIZE);
    if (!hmac_sha512(reinterpret_cast<const std::uint8_t*>(key.data()), key.size(),
                     reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), out.data()))
        return {};
    return out;
}

bool pbkdf2_sha512(std::string_view pass, const std::uint8_t* salt, std::size_t salt_len,
                   std::uint32_t iterations, std::size_t out_len, std::uint8_t* out) {
    return pbkdf2("SHA2-512", pass, salt, salt_len, iterations, out_len, out);
}

bool pbkdf2_sha512(std::string_view pass, std::string_view salt, std::uint32_t iterations,
                   std::size_t out_len, Bytes& out) {
    out.assign(out_len, 0);
    if (!pbkdf2_sha512(pass, reinterpret_cast<const std::uint8_t*>(salt.data()), salt.size(),
                       iterations, out_len, out.data())) {
        cleanse(out);
        return false;
    }
    return true;
}

bool pbkdf2_sha256(std::string_view pass, const std::uint8_t* salt, std::size_t salt_len,
                   std::uint32_t iterations, std::size_t out_len, std::uint8_t* out) {
    return pbkdf2("SHA2-256", pass, salt, salt_len, iterations, out_len, out);
}

bool pbkdf2_sha256(std::string_view pass, std::string_view salt, std::uint32_t iterations,
                   std::size_t out_len, Bytes& out) {
    out.assign(out_len, 0);
    if (!pbkdf2_sha256(pass, reinterpret_cast<const std::uint8_t*>(salt.data()), salt.size(),
                       iterations, out_len, out.data())) {
        cleanse(out);
        return false;
    }
    return true;
}

// --- AES-256-GCM -----------------------------------------------------------------------

bool aes256gcm_encrypt(const Bytes& key, const Bytes& iv, const Bytes& plain, Bytes& ct_out,
                       Bytes& tag_out) {
    ct_out.clear();
    tag_out.clear();
    if (key.size() != GCM_KEY_SIZE || iv.size() != GCM_IV_SIZE || plain.size() > INT_MAX ||
        cipher_aes256gcm() == nullptr)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return false;
    // The 12-byte IV is the cipher's default, so no IV-length control is needed.
    Bytes ct(plain.size() + 16);
    Bytes tag(GCM_TAG_SIZE);
    int n = 0, fin = 0;
    bool ok = EVP_EncryptInit_ex2(ctx.get(), cipher_aes256gcm(), key.data(), iv.data(), nullptr) == 1 &&
              EVP_EncryptUpdate(ctx.get(), ct.data(), &n, plain.data(), static_cast<int>(plain.size())) == 1 &&
              EVP_EncryptFinal_ex(ctx.get(), ct.data() + n, &fin) == 1 &&
              EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(GCM_TAG_SIZE), tag.data()) == 1;
    if (!ok) return false;
    ct.resize(static_cast<std::size_t>(n + fin));
    ct_out.swap(ct);
    tag_out.swap(tag);
    return true;
}

bool aes256gcm_decrypt(const Bytes& key, const Bytes& iv, const Bytes& ct, const Bytes& tag,
                       Bytes& plain_out) {
    cleanse(plain_out);
    if (key.size() != GCM_KEY_SIZE || iv.size() != GCM_IV_SIZE || tag.size() != GCM_TAG_SIZE ||
        ct.size() > INT_MAX || cipher_aes256gcm() == nullptr)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return false;
    Bytes plain(ct.size() + 16);
    int n = 0, fin = 0;
    // The tag control takes a non-const buffer but only reads it.
    bool ok = EVP_DecryptInit_ex2(ctx.get(), cipher_aes256gcm(), key.data(), iv.data(), nullptr) == 1 &&
              EVP_DecryptUpdate(ctx.get(), plain.data(), &n, ct.data(), static_cast<int>(ct.size())) == 1 &&
              EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(GCM_TAG_SIZE),
                                  const_cast<std::uint8_t*>(tag.data())) == 1 &&
              EVP_DecryptFinal_ex(ctx.get(), plain.data() + n, &fin) == 1;
    if (!ok) {
        // Unauthenticated plaintext must not survive.
        cleanse(plain);
        return false;
    }
    plain.resize(static_cast<std::size_t>(n + fin));
    plain_out.swap(plain);
    cleanse(plain);
    return true;
}

// --- randomness and wiping -----------------------------------------------------------

bool random_bytes(std::size_t n, Bytes& out) {
    out.clear();
    if (n > INT_MAX) return false;
    Bytes tmp(n);
    if (n > 0 && RAND_bytes(tmp.data(), static_cast<int>(n)) != 1) return false;
    out.swap(tmp);
    return true;
}

void cleanse(void* ptr, std::size_t len) {
    if (ptr != nullptr && len > 0) OPENSSL_cleanse(ptr, len);
}

void cleanse(std::string& s) {
    // Growing to the capacity makes the whole buffer (including bytes left from earlier,
    // longer contents) part of the string, so all of it is wiped.
    s.resize(s.capacity());
    cleanse(s.data(), s.size());
    s.clear();
}

void cleanse(Bytes& b) {
    b.resize(b.capacity());
    cleanse(b.data(), b.size());
    b.clear();
}

}  // namespace core
