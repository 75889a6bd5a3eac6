#pragma once
// Where the ordinals caches live in the platform folder, and the checks that keep
// chain-derived text (origins, txids, key hashes, wallet words) from becoming anything
// but a plain file name. Every builder returns "" for text it does not accept; callers
// treat "" as a cache miss and never write.
#include <cstdint>
#include <string>
#include <string_view>

namespace ordinals {

// 64 hex digits, optionally "_" and a decimal output index (no sign, at most 2^32 - 1).
bool is_origin_text(std::string_view origin);

// Splits an origin: a bare 64-hex txid means index 0. False for anything else.
bool parse_origin(std::string_view origin, std::string& txid, std::uint32_t& vout);

// The kind-cache key: the lower-cased origin, with "_0" added to a bare txid; "" when
// the text is not an origin.
std::string origin_key(std::string_view origin);

// The id the ordinals host is asked for: the origin, "_0" added to a bare txid.
std::string host_content_id(std::string_view origin);

// Content, type and name cache files: "/ord_cache/" + origin + ".bin" / ".typ" / ".nam".
std::string content_bin_path(std::string_view origin);
std::string content_type_path(std::string_view origin);
std::string name_path(std::string_view origin);
std::string content_cache_dir();

// "/art/tags.json".
std::string kind_cache_path();

// "/ord_inbox/" + 40 lowercase hex + ".json"; the hash may be given in either case.
std::string inbox_path(std::string_view hash160_hex);
std::string inbox_dir();

// "/ord_snap/" + word + ".json". The word must be a wallet_key_word: 1..80 ASCII
// letters, digits and "_", and not the placeholder "wallet".
std::string snapshot_path(std::string_view word);

}  // namespace ordinals
