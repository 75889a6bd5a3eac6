#pragma once
// Admission: a visitor pays ADMISSION_SATS to walk into the room, as an art_gentry
// record posted with one output of that amount to the admission address. It holds for
// one run of the program; nothing is stored and no earlier admission is looked for.
#include <cstdint>
#include <string>

namespace ledger {

inline constexpr std::int64_t ADMISSION_SATS = 200;

// The posting result ("success: <txid>" when paid) or an error text. Blocks for the
// network: call it on a worker thread.
std::string gallery_enter();

}  // namespace ledger
