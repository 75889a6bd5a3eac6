#pragma once
// The kind of an origin, for rows whose kind is not yet known: the kind cache, then the
// ordinals index's txo, then the MAP tag in the transaction itself. Known answers are
// cached.
#include <string>

namespace ordinals {

// "Artwork", "Certificate" or "".
std::string inscription_kind(const std::string& origin);

}  // namespace ordinals
