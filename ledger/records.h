#pragma once
// Gallery records of the OV-Art protocol: the frame table, the signing message, signing
// with the wallet's identity key, verification of records read from the chain, and
// finding a record in a transaction. Nothing here throws.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "core/json.h"

namespace ledger {

inline constexpr const char* RECORD_PROTOCOL = "OV-Art";
inline constexpr int FRAME_COUNT = 10;

struct FrameRow {
    int number = 1;             // 1..10
    std::string spot;           // "as1".."as10"
    std::string watch_address;  // the frame's address in the network profile
};

// The frame table of the profile in force. A number outside 1..10 gives row 1.
FrameRow frame_row(int number);
std::array<FrameRow, FRAME_COUNT> frame_table();
// "as1".."as10" (trimmed, either case) to 1..10; 0 for anything else.
int frame_of_spot(std::string_view spot);

// The text the identity key signs:
// "OV1|" type "|" place "|" handle "|" actor "|" ts "|" payload-of-the-type.
std::string record_message(const core::Json& record);

// Completes the record (handle when missing, actor, paymail, ts when not numeric) and
// signs it with the connected wallet's identity key, then checks the result the way a
// reader will. The record is changed only on success. Error texts carry no "error: ".
// Takes the wallet-state lock for the wallet reads and the signing only.
bool sign_record(core::Json& record, std::string& error);

// A reader's check of a record from the chain: envelope, a whole positive "ts",
// signature over the message, and the signing key being the actor's registered identity
// key (a network lookup, cached).
bool verify_record(const core::Json& record);

// The same check, telling a record that is invalid (dropped for good) from one that
// could not be checked because the identity lookup did not get an answer (try again).
// On valid, signer_out is the signing key in compressed lowercase hex, so that callers
// compare one spelling of each key; otherwise it is empty.
enum class RecordCheck { valid, invalid, unverified };
RecordCheck check_record(const core::Json& record, std::string& signer_out);

// An integer member exactly as record_message signs it, so readers act on the signed
// value: "ts" is a JSON integer, a whole JSON number or a text of decimal digits;
// every other member ("exp", "price_sats") counts only as a JSON integer. Anything
// else, and a value outside the 64-bit range, reads as 0.
std::int64_t signed_int(const core::Json& record, std::string_view key);

// Signs the record (in place) and pays for posting it; returns the posting result text
// unchanged, or "error: " + the signing error. Blocks for the network.
std::string post_record(core::Json& record, const std::string& watch_address, const std::string& fee_address,
                        std::int64_t fee_sats);

// The posted form: compact, keys in ascending byte order at every level, raw UTF-8.
std::string record_text(const core::Json& record);
// The lowercase hex SHA-256 of a text, as records carry "title_sha" and "offer_sha".
std::string sha256_hex(const std::string& text);

// The first OV-Art record carried by a data output of a transaction in the JSON form of
// the indexers ("vout"[i]."scriptPubKey"."hex").
bool extract_record(const core::Json& tx, core::Json& record_out);

// The single push of an OP_RETURN (optionally OP_FALSE OP_RETURN) script given as hex.
// Pushes longer than the 2-byte length form are not read.
bool data_payload(std::string_view script_hex, core::Bytes& bytes_out);

}  // namespace ledger
