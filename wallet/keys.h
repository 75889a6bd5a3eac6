#pragma once
// Key maths of the wallet, free of wallet state: Base58Check P2PKH addresses, BIP39
// mnemonics and seeds, BIP32 private derivation on secp256k1, ECDSA signing with low S
// and public-key recovery. Keys travel as lowercase hex text (private 64 characters,
// compressed public 66). Every function reports failure by its result and never throws.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/secret.h"

namespace wallet {

// The BIP39 English list, "abandon" first, "zoo" last (generated from resources/).
extern const std::array<std::string_view, 2048> BIP39_WORDS;

constexpr std::uint32_t HARDENED = 0x80000000u;
constexpr std::uint8_t ADDRESS_VERSION = 0x00;  // main-net P2PKH

// --- Base58 and addresses ------------------------------------------------------------
// Plain Base58 (Bitcoin alphabet, each leading zero byte as "1"); no checksum.
std::string base58_encode(const std::uint8_t* data, std::size_t len);
inline std::string base58_encode(const core::Bytes& b) { return base58_encode(b.data(), b.size()); }
// False for an empty text or any character outside the alphabet.
bool base58_decode(std::string_view text, core::Bytes& out);

// "" unless h20 is 20 bytes.
std::string address_from_hash160(const core::Bytes& h20);
// True only for a main-net P2PKH address: 26..35 alphabet characters, 25 bytes,
// version 0x00, matching checksum.
bool hash160_from_address(std::string_view text, core::Bytes& h20);
// pub_hex must decode to 33 bytes; "" otherwise.
std::string address_from_pub(std::string_view pub_hex);
// Exactly 32 bytes of hex holding a key in 1..n-1; writes the compressed key hex.
bool pub_from_priv(std::string_view priv_hex, std::string& pub_hex);
// OP_DUP OP_HASH160 <20> OP_EQUALVERIFY OP_CHECKSIG; empty unless h20 is 20 bytes.
core::Bytes p2pkh_script(const core::Bytes& h20);
// The address a P2PKH locking script pays, "" for any other script.
std::string p2pkh_address(const core::Bytes& script);

// --- BIP39 ---------------------------------------------------------------------------
// A 12-word English mnemonic with a valid checksum. Words are split at spaces and tabs
// (runs count as one) and compared in lower case.
bool validate_mnemonic(std::string_view text);
// 16 bytes of entropy to 12 words joined by single spaces.
bool mnemonic_from_entropy(const core::Bytes& entropy16, std::string& out);
// Any standard size: 16, 20, 24, 28 or 32 bytes (12 to 24 words).
bool entropy_to_mnemonic(const core::Bytes& entropy, std::string& out);
// 12, 15, 18, 21 or 24 words with a valid checksum, same splitting as validate_mnemonic.
bool mnemonic_to_entropy(std::string_view text, core::SecretBytes& entropy);
// PBKDF2-HMAC-SHA512, salt "mnemonic" + passphrase, 2048 rounds, 64 bytes. The text
// is used exactly as given: no case or space normalisation.
bool bip39_seed(std::string_view mnemonic, std::string_view passphrase, core::SecretBytes& seed64);

// --- BIP32 ---------------------------------------------------------------------------
struct ExtKey {
    std::array<std::uint8_t, 32> key{};
    std::array<std::uint8_t, 32> chain{};
    ExtKey() = default;
    ExtKey(const ExtKey&) = default;
    ExtKey& operator=(const ExtKey&) = default;
    ~ExtKey();
    void wipe();
};

// HMAC-SHA512 keyed "Bitcoin seed" over a 16..64-byte seed; fails when IL >= n or 0.
bool master_from_seed(const std::uint8_t* seed, std::size_t len, ExtKey& master);
inline bool master_from_seed(const core::SecretBytes& seed, ExtKey& master) {
    return master_from_seed(seed.data(), seed.size(), master);
}
// Private child derivation; hardened when the top bit of index is set. Fails (no retry
// with the next index) when IL >= n or the child key is zero.
bool derive_child(const ExtKey& parent, std::uint32_t index, ExtKey& child);
// Applies each index of path in turn (any length, the empty path gives the master
// itself) and writes the private key hex, compressed public key hex and address.
// All three are cleared on failure.
bool derive_path_from_master(const ExtKey& master, const std::vector<std::uint32_t>& path,
                             std::string& priv_hex, std::string& pub_hex, std::string& address);

// --- ECDSA -----------------------------------------------------------------------------
// ECDSA over a 32-byte digest with the library's nonce, s normalised to the low half,
// DER encoded.
bool sign_digest(std::string_view priv_hex, const core::Bytes& digest32, core::Bytes& der);
// s (32 bytes big-endian, 1..n-1) to min(s, n - s). False for anything else.
bool low_s(const core::Bytes& s32, core::Bytes& out32);
// DER signature to r and s, each left-padded to 32 bytes. Strict: the whole buffer must
// be one DER signature with r and s of at most 32 bytes.
bool der_to_rs(const core::Bytes& der, core::Bytes& r32, core::Bytes& s32);
// r and s (each at most 32 bytes, big-endian) to DER.
bool rs_to_der(const core::Bytes& r, const core::Bytes& s, core::Bytes& der);
// Library ECDSA verification of r and s (each 32 bytes) against a 33-byte compressed
// or 65-byte uncompressed (04) public key. High S is accepted.
bool verify_digest(const core::Bytes& pub, const core::Bytes& digest32, const core::Bytes& r32,
                   const core::Bytes& s32);
// Recovers the compressed public key from a signature. recid 0..3: bit 1 adds n to the
// x coordinate, bit 0 gives the parity of y. r and s must be in 1..n-1.
bool recover_pubkey(const core::Bytes& digest32, const core::Bytes& r32, const core::Bytes& s32,
                    int recid, core::Bytes& pub33_out);

}  // namespace wallet
