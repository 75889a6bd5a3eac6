#pragma once
// The transaction model of every payment the program makes: wire format, transaction
// id, the fee rule, the BSV signature hash (SIGHASH_ALL | SIGHASH_FORKID) and signing.
// Only P2PKH coins are spent. Every transaction has version 1, lock time 0 and sequence
// 0xFFFFFFFF on every input. Nothing here throws; failures are an empty result or false.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace chain {

constexpr std::uint32_t SIGHASH_ALL_FORKID = 0x41;
// 21 million BSV in sats: no amount or sum of amounts may go beyond it.
constexpr std::int64_t MAX_SATS = 2'100'000'000'000'000;
// Parsed transactions from other users hold 1..MAX_TX_ITEMS inputs and outputs.
constexpr std::uint64_t MAX_TX_ITEMS = 500;
// Estimate mode gives every input this unlocking-script placeholder: room for a DER
// signature with its sighash byte and a compressed key, as 0x6B and 107 zero bytes.
constexpr std::size_t ESTIMATE_SCRIPT_SIZE = 107;
// txid, vout, the placeholder with its length byte, sequence.
constexpr std::size_t ESTIMATE_INPUT_SIZE = 32 + 4 + 1 + ESTIMATE_SCRIPT_SIZE + 4;

// One coin being spent. The private key is wiped whenever an input is destroyed or
// assigned over, so copies made while building a transaction leave nothing behind.
struct TxInput {
    std::string txid;                 // 64 hex digits, display order (reverse of the wire)
    std::uint32_t vout = 0;
    std::int64_t value = 0;           // sats
    std::int32_t height = 0;          // 0 unconfirmed, -1 unknown (parsed inputs)
    core::Bytes unlocking_script;     // empty until signed
    core::Bytes prev_locking_script;  // empty: P2PKH to key_hash
    std::string private_key;          // 64 hex digits, or empty for the wallet's default key
    std::string public_key;           // hex, or empty for the wallet's default public key
    core::Bytes key_hash;             // hash160 of the owning address, 20 bytes

    TxInput() = default;
    TxInput(const TxInput&) = default;
    TxInput(TxInput&&) noexcept = default;
    TxInput& operator=(const TxInput& other);
    TxInput& operator=(TxInput&& other) noexcept;
    ~TxInput();
};

struct TxOutput {
    std::int64_t value = 0;  // sats
    core::Bytes script;      // locking script
};

// Bitcoin CompactSize.
void write_varint(core::Bytes& buf, std::uint64_t n);
// Bytes write_varint gives for n.
std::size_t varint_size(std::uint64_t n);
// Minimal push of data onto script (direct length, OP_PUSHDATA1, 2 or 4). False, with
// script unchanged, only for data beyond 0xFFFFFFFF bytes.
bool push_data(core::Bytes& script, const core::Bytes& data);
// OP_FALSE OP_RETURN and one push of payload (no push for an empty payload). Outputs
// carrying it have value 0. Empty only when the payload cannot be pushed.
core::Bytes data_script(const core::Bytes& payload);

// Raw transaction. In estimate mode every input carries the fixed placeholder instead
// of its unlocking script, so sizes (and fees) are known before signing. Empty when a
// txid does not decode to 32 bytes or an output value is outside 0..MAX_SATS.
core::Bytes serialize_tx(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                         bool estimate);
// The same signed transaction in the extended format (BIP-239): a marker after the
// version, and after each input's sequence its previous output's sats and locking
// script (prev_locking_script, else P2PKH to key_hash), so a broadcaster need not look
// the parents up. Empty when any input's previous output is not known.
core::Bytes serialize_tx_extended(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs);
// serialize_tx(inputs, outputs, true).size() for input_count valid inputs, computed
// without building the bytes.
std::size_t estimate_size(std::size_t input_count, const std::vector<TxOutput>& outputs);
// Reads a transaction received from another user. Inputs get value 0 and height -1,
// their unlocking scripts as found. False (both lists cleared) for 9 bytes or fewer,
// a count outside 1..500, an output value outside 0..MAX_SATS or any read past the end.
// The lock time is not read.
bool parse_tx(const core::Bytes& raw, std::vector<TxInput>& inputs, std::vector<TxOutput>& outputs);
// Double SHA-256 of the raw bytes, reversed, as 64 lowercase hex digits.
std::string tx_id(const core::Bytes& raw);
// 100 sats per 1000 bytes, rounded up; at least 1.
std::int64_t fee_for(std::int64_t size);

// The FORKID signature-hash preimage for input index. The script code is the input's
// prev_locking_script, or P2PKH to key_hash when that is empty. Unlocking scripts are
// not part of it. Empty for a bad index, txid, value or script code.
core::Bytes signature_preimage(std::size_t index, const std::vector<TxInput>& inputs,
                               const std::vector<TxOutput>& outputs, const core::Bytes& key_hash);
// Signs input index with the given keys (the caller resolves the wallet's defaults) and
// sets its unlocking script to push(DER signature + 0x41) push(public key). On failure
// that script is left empty.
bool sign_input(std::size_t index, std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                std::string_view private_key_hex, std::string_view public_key_hex,
                const core::Bytes& key_hash);

// total += value, failing (total unchanged) when value is negative or the sum would pass
// MAX_SATS.
bool add_sats(std::int64_t& total, std::int64_t value);

}  // namespace chain
