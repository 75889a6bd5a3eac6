#pragma once
// The ordinals index's paged list of an address's unspent outputs. The index answers
// ORD_PAGE rows unless asked for more, so a list is read page by page: a wallet with
// more outputs than one page would otherwise lose artworks from its list and
// inscription coins from the never-spend set.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/json.h"

namespace chain {

// At most this many pages (ORD_PAGE rows each) are read for one address.
inline constexpr int ORD_MAX_PAGES = 100;

// Every unspent output the index lists at address, as one JSON array of its rows:
// pages by offset until a page shorter than ORD_PAGE, or until rows holds `enough` (a
// reader that takes no more than that). False when any page failed or did not read as
// an array, or the list runs past ORD_MAX_PAGES before that (rows then holds nothing):
// half a list is no answer where every inscription must be known.
bool ord_unspent_rows(const std::string& address, long timeout_s, core::Json& rows,
                      std::size_t enough = SIZE_MAX);

}  // namespace chain
