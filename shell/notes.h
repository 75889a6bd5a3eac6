#pragma once
// The notes list: the gallery steps that wait on this wallet's user, built from the ten
// frames as the wall reader replayed them.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "bridge/port.h"
#include "ledger/records.h"
#include "ledger/walls.h"

namespace shell {

using Walls = std::array<ledger::SpotLoad, ledger::FRAME_COUNT>;
// ledger::offer_status, or a stand-in in tests: 2 and 3 mean the offer is dead.
using OfferStatusFn = std::function<int(const std::string& offer_hex)>;

// Funded offers of one frame checked at most, newest first: each check asks the chain,
// and the records of a frame are outside data.
inline constexpr std::size_t MAX_OFFERS_CHECKED = 32;

// For each frame in order that is shown and not sold, at most one note:
// - the owner is me: a live funded offer → "APn. Complete the sale."; else no accept,
//   some ask and a price above 0 → "APn. Accept the ask.";
// - someone else's, price above 0: an accept names me and no funded offer is live →
//   "APn. Pay for this piece.".
// A frame whose history was not read, or an empty my_key, gives no note. Keys compare in
// lower case. Offers are looked up only when the answer depends on them.
std::vector<bridge::NoteItem> build_notes(const Walls& walls, const std::string& my_key,
                                          const OfferStatusFn& offer_status);

}  // namespace shell
