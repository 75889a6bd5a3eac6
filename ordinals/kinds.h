#pragma once
// What kind of gallery piece an inscription is: the sealed kind label of its MAP "tag",
// else the tag's length, else its content type. Only inscriptions of the gallery app
// have a kind.
#include <string>
#include <string_view>

#include "chain/ord_index.h"

namespace ordinals {

inline constexpr const char* KIND_ARTWORK = "Artwork";
inline constexpr const char* KIND_CERTIFICATE = "Certificate";
inline constexpr const char* GALLERY_APP = "ZuvAdudurero";
inline constexpr const char* IDENTITY_APP = "OrvaneId";
inline constexpr std::size_t MAX_NAME_BYTES = 48;

bool is_kind_word(std::string_view word);

// Leading spaces and tabs and trailing spaces, tabs, CR and LF removed, then cut to 48
// bytes (never inside a UTF-8 sequence).
std::string clean_name(std::string_view name);

// The kind word sealed in a MAP tag (hex of IV 12, tag 16, ciphertext; AES-256-GCM keyed
// with SHA-256 of the profile's app tag label). "" when there is no label, the text is
// not hex or the box does not open; otherwise the plaintext as it is.
std::string open_kind_tag(std::string_view tag_hex);

// The kind of one data object of the ordinals index with the content type given: ""
// unless its MAP "app" is the gallery app. name receives the cleaned MAP name when it is
// empty.
std::string data_object_kind(const chain::OrdData& data, std::string_view content_type, std::string& name);

}  // namespace ordinals
