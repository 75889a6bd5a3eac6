#pragma once
// Reading a 1Sat inscription out of an output script: the envelope
// OP_FALSE OP_IF "ord" OP_1 <type> OP_0 <data...> OP_ENDIF owned by a P2PKH lock
// directly before or after it, and the MAP metadata (OP_RETURN
// "1PuQa7K62MiKCtssSLKy1kh56WWU7MtUR5" "SET" key value ...) that may follow.
#include <map>
#include <string>

#include "core/bytes.h"

namespace ordinals {

inline constexpr const char* MAP_PREFIX = "1PuQa7K62MiKCtssSLKy1kh56WWU7MtUR5";

struct Inscription {
    std::string content_type;
    std::string content;              // the body bytes
    core::Bytes owner_hash;           // 20 bytes of the P2PKH lock
    std::map<std::string, std::string> map;  // MAP keys and values, empty without MAP
};

// False unless the script is a P2PKH lock followed by an envelope, or an envelope
// followed by a P2PKH lock (anything may come after that, e.g. MAP metadata).
bool parse_inscription_script(const core::Bytes& script, Inscription& out);

// The display name an inscription carries: its MAP "name", else the "name" of JSON
// content; raw, not yet cleaned.
std::string inscription_name(const Inscription& insc);

}  // namespace ordinals
