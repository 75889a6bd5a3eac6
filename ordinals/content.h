#pragma once
// Fetching an inscription's content: the local content cache, the ordinals host, and
// the output script of the raw transaction on WhatsOnChain.
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "ordinals/caches.h"

namespace ordinals {

// The error of a content larger than MAX_CONTENT_BYTES: reading stopped at the limit
// and nothing was cached.
inline constexpr const char* CONTENT_TOO_LARGE = "content too large";

// Content cache first; then, when the network is allowed, the ordinals host and
// WhatsOnChain (the host first when ordinals_first is set, else last). A fetched
// content is cached (name too) and returned. False with an error text when nothing
// has it; a source that finds the content too large ends the fetch with
// CONTENT_TOO_LARGE.
bool read_content(const std::string& origin, bool allow_network, bool ordinals_first, Content& out,
                  std::string& error);

// ORD_HOST /content/{id}, then /api/files/inscriptions/{id}; the type is sniffed.
// A reply past MAX_CONTENT_BYTES is abandoned with CONTENT_TOO_LARGE.
bool fetch_ordinals_content(const std::string& origin, Content& out, std::string& error);

// The inscription in output vout of txid, read from WhatsOnChain: the script of the
// transaction JSON, else of the raw transaction (hex, then raw). An inscription past
// MAX_CONTENT_BYTES gives CONTENT_TOO_LARGE.
bool fetch_chain_content(const std::string& txid, std::uint32_t vout, Content& out, std::string& error);

// Type, bytes and name of the inscription an output script carries.
bool content_from_script(const core::Bytes& script, Content& out);

// The script of output vout of a WhatsOnChain transaction JSON ("scriptPubKey" "hex").
bool script_from_tx_json(const core::Json& tx, std::uint32_t vout, core::Bytes& script);

// PNG, JPEG, WebP, GIF and PDF by their first bytes, else "application/octet-stream".
std::string sniff_content_type(std::string_view bytes);

}  // namespace ordinals
