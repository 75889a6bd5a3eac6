#include "shell/notes.h"

#include <algorithm>

#include "core/hex.h"

namespace shell {

namespace {

bool offer_live(int status) { return status != 2 && status != 3; }

bool any_offer_live(const ledger::SpotLoad& spot, const OfferStatusFn& offer_status) {
    const auto& funded = spot.funded;
    const std::size_t checked = std::min(funded.size(), MAX_OFFERS_CHECKED);
    for (std::size_t i = 0; i < checked; ++i)
        if (offer_live(offer_status(funded[funded.size() - 1 - i].offer))) return true;
    return false;
}

bool accept_names(const ledger::SpotLoad& spot, const std::string& key) {
    return std::any_of(spot.accepts.begin(), spot.accepts.end(),
                       [&](const ledger::AcceptEntry& a) { return core::lower_ascii(a.buyer) == key; });
}

}  // namespace

std::vector<bridge::NoteItem> build_notes(const Walls& walls, const std::string& my_key,
                                          const OfferStatusFn& offer_status) {
    std::vector<bridge::NoteItem> notes;
    const std::string me = core::lower_ascii(my_key);
    if (me.empty() || !offer_status) return notes;
    for (std::size_t i = 0; i < walls.size(); ++i) {
        const ledger::SpotLoad& spot = walls[i];
        if (!spot.error.empty() || !spot.shown || spot.sold) continue;
        const int frame = static_cast<int>(i) + 1;
        const std::string prefix = "AP" + std::to_string(frame) + ". ";
        if (core::lower_ascii(spot.owner) == me) {
            if (any_offer_live(spot, offer_status))
                notes.push_back({frame, prefix + "Complete the sale."});
            else if (spot.accepts.empty() && !spot.asks.empty() && spot.price > 0)
                notes.push_back({frame, prefix + "Accept the ask."});
        } else if (spot.price > 0 && accept_names(spot, me) && !any_offer_live(spot, offer_status)) {
            notes.push_back({frame, prefix + "Pay for this piece."});
        }
    }
    return notes;
}

}  // namespace shell
