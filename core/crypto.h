#pragma once
// Hashes, MAC, key derivation, AES-256-GCM, random bytes and secure wiping, all on
// OpenSSL 3 EVP. Digest functions return an empty buffer only if the library fails;
// the others return false and leave their outputs empty (or wiped) on any failure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace core {

constexpr std::size_t SHA256_SIZE = 32;
constexpr std::size_t SHA512_SIZE = 64;
constexpr std::size_t RIPEMD160_SIZE = 20;
constexpr std::size_t GCM_KEY_SIZE = 32;
constexpr std::size_t GCM_IV_SIZE = 12;
constexpr std::size_t GCM_TAG_SIZE = 16;

// --- digests ---------------------------------------------------------------------
Bytes sha256(const std::uint8_t* data, std::size_t len);
inline Bytes sha256(const Bytes& b) { return sha256(b.data(), b.size()); }
inline Bytes sha256(std::string_view s) {
    return sha256(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// SHA-256 applied twice.
Bytes sha256d(const std::uint8_t* data, std::size_t len);
inline Bytes sha256d(const Bytes& b) { return sha256d(b.data(), b.size()); }
inline Bytes sha256d(std::string_view s) {
    return sha256d(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

Bytes sha512(const std::uint8_t* data, std::size_t len);
inline Bytes sha512(const Bytes& b) { return sha512(b.data(), b.size()); }
inline Bytes sha512(std::string_view s) {
    return sha512(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

Bytes ripemd160(const std::uint8_t* data, std::size_t len);
inline Bytes ripemd160(const Bytes& b) { return ripemd160(b.data(), b.size()); }
inline Bytes ripemd160(std::string_view s) {
    return ripemd160(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// RIPEMD-160 of SHA-256: the 20-byte key hash of addresses.
Bytes hash160(const std::uint8_t* data, std::size_t len);
inline Bytes hash160(const Bytes& b) { return hash160(b.data(), b.size()); }

// --- MAC and key derivation --------------------------------------------------------
// Writes 64 bytes to out64. The pointer form exists so callers deriving keys can keep
// the result in a buffer they wipe themselves.
bool hmac_sha512(const std::uint8_t* key, std::size_t key_len, const std::uint8_t* data,
                 std::size_t data_len, std::uint8_t* out64);
// Empty on failure.
Bytes hmac_sha512(const Bytes& key, const Bytes& data);
Bytes hmac_sha512(std::string_view key, std::string_view data);

// PBKDF2 with HMAC-SHA512 / HMAC-SHA256; out_len bytes to out. iterations >= 1.
bool pbkdf2_sha512(std::string_view pass, const std::uint8_t* salt, std::size_t salt_len,
                   std::uint32_t iterations, std::size_t out_len, std::uint8_t* out);
bool pbkdf2_sha512(std::string_view pass, std::string_view salt, std::uint32_t iterations,
                   std::size_t out_len, Bytes& out);
bool pbkdf2_sha256(std::string_view pass, const std::uint8_t* salt, std::size_t salt_len,
                   std::uint32_t iterations, std::size_t out_len, std::uint8_t* out);
bool pbkdf2_sha256(std::string_view pass, std::string_view salt, std::uint32_t iterations,
                   std::size_t out_len, Bytes& out);

// --- AES-256-GCM (no additional data) ----------------------------------------------
// key 32 bytes, iv 12 bytes, tag 16 bytes.
bool aes256gcm_encrypt(const Bytes& key, const Bytes& iv, const Bytes& plain, Bytes& ct_out,
                       Bytes& tag_out);
// False when the tag does not authenticate; plain_out is then empty (partial output
// is wiped).
bool aes256gcm_decrypt(const Bytes& key, const Bytes& iv, const Bytes& ct, const Bytes& tag,
                       Bytes& plain_out);

// --- randomness and wiping -----------------------------------------------------------
// n bytes from the library's CSPRNG.
bool random_bytes(std::size_t n, Bytes& out);

// OPENSSL_cleanse; the container forms also wipe any spare capacity and then clear.
void cleanse(void* ptr, std::size_t len);
void cleanse(std::string& s);
void cleanse(Bytes& b);

}  // namespace core
