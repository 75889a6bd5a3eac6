#pragma once
// Who may write gallery records and whose records count: the precheck before every
// gallery operation, the registered identity key of a handle, and the curator role.
// The two lookups are cached process-wide, each behind its own mutex that is never
// held across the request. Nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ledger {

inline constexpr std::int64_t IDENTITY_KEY_FRESH_MS = 30 * 60 * 1000;
inline constexpr std::int64_t ARCHITECT_YES_FRESH_MS = 10 * 60 * 1000;
inline constexpr std::int64_t ARCHITECT_NO_FRESH_MS = 30 * 1000;

// Connected wallet with a handle and an identity key that is not frozen at the
// platform. error gets the whole page text ("error: ..."); a failed status request
// does not block.
bool may_act(std::string& error);

// A handle as it is compared and looked up: trimmed, one leading "@" or "$" dropped,
// trimmed again, lower case.
std::string normalise_handle(std::string_view handle);

// The alias grammar of the platform's registry: 1 to MAX_ACTOR_CHARS of a-z, 0-9, "_",
// "-" and ".". A handle outside it names nobody, so a record claiming it is invalid
// before any look-up.
inline constexpr std::size_t MAX_ACTOR_CHARS = 64;
bool actor_fits(std::string_view normalised_handle);

// The identity key registered for handle@platform-paymail-domain, compressed lowercase
// hex, or "" when the lookup fails. Successful answers are kept 30 minutes.
std::string identity_key_of(std::string_view actor);

// The same lookup, telling "the registry answered and holds no usable key for this
// handle" (404, or a reply without a key) from "no answer" (transport failure, any
// other status, a body that is not JSON). Concurrent lookups of one handle share one
// request.
enum class KeyLookup { found, unregistered, unreachable };
KeyLookup lookup_identity_key(std::string_view actor, std::string& key_out);

// Whether the key holds the curator ("architect") role. Yes is kept 10 minutes; no,
// and a failed request, 30 seconds.
bool is_architect(std::string_view identity_key);

// Hex of a 33- or 65-byte key (white space and "0x" allowed) to the compressed
// lowercase form; "" for anything else.
std::string normalise_key(std::string_view hex);

// Tests: forget both caches.
void reset_identity_caches();

}  // namespace ledger
