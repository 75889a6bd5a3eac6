#pragma once
// Bitcoin signed-message digest, the two signature encodings the program produces
// (65-byte recoverable compact and 64-byte plain r||s, both Base64) and verification
// of signatures made by others. Pure functions; nothing throws.
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace wallet {

// Double SHA-256 of 0x18 "Bitcoin Signed Message:\n" CompactSize(len) message (32 bytes).
core::Bytes signed_message_digest(std::string_view message);

// Signs the signed-message digest with low S and returns Base64 of header (31 + recovery
// id), r, s: 88 characters.
bool sign_message_compact(std::string_view priv_hex, std::string_view message, std::string& base64_out);

// Signs a 32-byte digest with low S and returns Base64 of r || s (64 bytes, 88 characters).
bool sign_plain(std::string_view priv_hex, const core::Bytes& digest32, std::string& base64_out);

// pubkey_text: hex of a 33- or 65-byte key, surrounding white space and a "0x"/"0X" prefix
// allowed. sig_base64: 64 bytes r||s, or 65 bytes whose first (header) byte is ignored.
// True when the signature verifies over the signed-message digest, the single SHA-256 or
// the double SHA-256 of the message. High S is not rejected.
bool verify_message(std::string_view message, std::string_view pubkey_text, std::string_view sig_base64);

// 33 bytes starting 02/03, or 65 bytes starting 04, to the 66-character lowercase hex of
// the compressed form; "" for anything else. Only the form is checked, not the curve.
std::string compressed_pubkey_hex(const core::Bytes& key);

}  // namespace wallet
