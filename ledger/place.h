#pragma once
// Placing an artwork on a free frame (an art_show record and the placement fee) and
// taking it down again (an art_hide record), with the Gallery reserve that keeps the
// displayed coins out of ordinary spending. Every operation returns a text beginning
// with "success" or "error: "; nothing here throws.
#include <cstdint>
#include <string>

namespace ledger {

inline constexpr std::int64_t PLACE_FEE_PER_WEEK_SATS = 10000;
inline constexpr std::int64_t VIEW_ONLY_PRICE = -1;

// Frame 1..10, pic as the artwork's origin (txid_vout) or id, price in sats or
// VIEW_ONLY_PRICE, weeks 1 or 2. Blocks for the network: call it on a worker thread.
std::string ov_gallery_place(int frame, const std::string& pic, std::int64_t price_sats, int weeks);

// "" when the frame shows nothing and the artwork shows on no other frame; else the
// error text. A frame whose history cannot be read counts as empty here: the place
// that follows reads it again and is refused then.
std::string frame_free_check(int frame, const std::string& pic, std::int64_t now);

// Takes the frame's artwork down: by its owner, while no offer is funded. A frame whose
// history cannot be read is taken down from the Gallery reserve's entry.
std::string gallery_remove(int frame);

// The Gallery reserve, changed through chain::update_reserve_entries (fail closed).
// Both return "" on success, else the error text.
std::string reserve_add(const std::string& pic_utxo, const std::string& cert_utxo, const std::string& pic,
                        const std::string& cert, std::int64_t price_sats, std::int64_t exp, int frame);
// Nothing matched is a success.
std::string reserve_clear(const std::string& pic);
// The first live entry of the frame with a pic.
bool reserve_find(int frame, std::string& pic, std::string& cert);
// "On display", "For sale" or "".
std::string reserve_status(const std::string& pic);

}  // namespace ledger
