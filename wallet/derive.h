#pragma once
// Keys of the loaded wallet: derivation from its cached seed, the current receive,
// identity and ordinals keys, the key search and the watched addresses. Callers hold
// the wallet-state lock.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace wallet {

using Path = std::array<std::uint32_t, 5>;

Path receive_path(std::uint32_t index);
Path ordinals_path(std::uint32_t index);
Path ordinals_chain1_path(std::uint32_t index);
Path identity_path();
Path bn_path();
// Generic account form m/44'/236'/a'/0/i; false for a above 5.
bool account_path(std::uint32_t account, std::uint32_t index, Path& out);

// Derives with the wallet's mnemonic (seed and master key computed once and cached).
bool derive_path(const Path& path, std::string& priv_hex, std::string& pub_hex, std::string& address);
// Receive key at "show", identity key and current ordinals address into the state.
bool derive_wallet_keys();
// The key of an address of the wallet: the account keys m/44'/236'/a'/0/i for a = 0..5
// and i = 0.."recv"[a], the identity key and the second ordinals chain's keys.
bool find_key_for_address(const std::string& address, std::string& priv_hex, std::string& pub_hex);
// The addresses whose coins are the wallet's: receive addresses 0.."recv"[1] and the
// identity address (HD), or the wallet's one address (legacy); then each house address
// whose key the wallet holds.
std::vector<std::string> watched_addresses();

// Keys m/44'/236'/5'/1/j, j below this, make the second ordinals chain.
inline constexpr std::uint32_t ORDINALS_CHAIN1_KEYS = 5;
// The highest child index of a receive path; above it an index would be hardened.
inline constexpr std::uint64_t MAX_CHILD_INDEX = 0x7fffffff;

// The receive addresses m/44'/236'/1'/0/i for i = first..last (last cut to
// MAX_CHILD_INDEX), position k holding index first + k; "" where an index has no key.
// The one walk over the receive paths: each address is derived once per loaded wallet
// and kept (addresses are public; no key is kept). Empty unless an HD wallet loads.
std::vector<std::string> receive_addresses(std::uint64_t first, std::uint64_t last);
// Indices 0.."recv"[1].
std::vector<std::string> receive_addresses();
bool current_ordinals_hash160(core::Bytes& hash160, std::string& error);
bool bn_key(std::string& pub_hex, std::string& priv_hex, std::string& address, std::string& error);

// Signs message with the identity key: public key hex and Base64 r||s.
bool identity_sign(const std::string& message, std::string& pub_hex, std::string& signature,
                   std::string& error);

// Pure helper for documents made outside the wallet state (the wallet application):
// derive a path straight from a mnemonic text.
bool derive_from_mnemonic(const std::string& mnemonic, const Path& path, std::string& priv_hex,
                          std::string& pub_hex, std::string& address);

}  // namespace wallet
