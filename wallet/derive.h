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
bool find_key_for_address(const std::string& address, std::string& priv_hex, std::string& pub_hex);
std::vector<std::string> watched_addresses();
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
