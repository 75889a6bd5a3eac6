#pragma once
// The ordinals index and its content host. An address's unspent outputs are paged: the
// index answers
// ORD_PAGE rows unless asked for more, so a list is read page by page: a wallet with
// more outputs than one page would otherwise lose artworks from its list and
// inscription coins from the never-spend set.
#include <cstddef>
#include <cstdint>
#include <string>

#include "chain/http.h"
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

// One output as the index knows it (GET txos/{txid}_{vout}): its row, an object. False
// when the index did not answer with one.
bool ord_txo(const std::string& txid, std::uint32_t vout, long timeout_s, core::Json& row);

// The token outputs the index lists at address (GET bsv20/{address}/unspent), an array.
bool ord_token_rows(const std::string& address, long timeout_s, core::Json& rows);

// An inscription's content from the content host (GET content/{txid}_{vout}), read to
// cap bytes; the reply as it came (a reply past the cap is REPLY_TOO_LARGE).
HttpResult ord_content(const std::string& outpoint, long timeout_s, std::size_t cap);

}  // namespace chain
