#pragma once
// Identity credentials: JSON inscriptions of the "OV-Identity" protocol with type
// "id_issue", issued by the platform to a subject key. They are listed as credential
// rows with a label for a name and no kind.
#include <string>
#include <string_view>

#include "core/json.h"

namespace ordinals {

inline constexpr std::size_t MAX_CREDENTIAL_BYTES = 200000;

// "ID-age" for "id_age" and so on; "" for a kind without a label.
std::string credential_label(std::string_view kind);

// An object with "protocol" "OV-Identity" and "type" "id_issue".
bool is_credential_json(const core::Json& j);

// Content text of at most 200000 bytes, beginning with "{", that parses to a
// credential object.
bool parse_credential_content(std::string_view text, core::Json& out);

// The label; for a credential issued to another key than this wallet's identity key and
// carrying a "subject_handle", label + " (" + handle before its "@" + ")".
std::string credential_name(const core::Json& credential, std::string_view identity_pub);

}  // namespace ordinals
