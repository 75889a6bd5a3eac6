#pragma once
// The ordinals index and its content host. An address's unspent outputs are paged: the
// index answers ORD_PAGE rows unless asked for more, so a list is read page by page: a
// wallet with more outputs than one page would otherwise lose artworks from its list
// and inscription coins from the never-spend set. Replies are read here into OrdTxo;
// nothing above chain/ reads the index's JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chain/http.h"
#include "core/json.h"

namespace chain {

// One "data" object of an output as the index describes it: what it carries.
struct OrdToken {
    std::string id, tick, sym, icon;
    std::string amt, dec;  // the index writes these as text or as a number
    bool listing = false;
    bool pending = false;  // "status" 0: not yet valid
};
struct OrdMap {
    bool present = false;
    std::string app, name, tag;
};
struct OrdData {
    bool present = false;
    bool insc = false;       // carries an inscription
    std::string file_type;   // the inscription's content type
    std::string insc_text;   // its text, else its JSON (compact)
    OrdMap map;              // MAP fields
    bool token = false;      // a BSV-20 (or BSV-21) output
    OrdToken token_fields;
};

// One output ("txo") of the index, its fields as given: the ids are unchecked text.
struct OrdTxo {
    std::string txid;
    std::int64_t vout = -1;
    std::string outpoint;   // "txid_vout", where txid and vout were not given
    std::int64_t satoshis = 1;
    std::int64_t height = 0;
    std::string origin;     // the inscription's origin outpoint, "" when none
    std::string owner;      // the address holding it now
    std::string spend;      // the spending txid, "" while unspent
    OrdData own;            // its own data
    OrdData origin_data;    // its origin's data
    // An element of the token listing carries its token's fields at its top level.
    bool top_token = false;
    OrdToken top_token_fields;
};

// One txo object of a reply; false for anything but an object.
bool ord_txo_from_json(const core::Json& j, OrdTxo& out);

// At most this many pages (ORD_PAGE rows each) are read for one address.
inline constexpr int ORD_MAX_PAGES = 100;

// Every unspent output the index lists at address, as one JSON array of its rows:
// pages by offset until a page shorter than ORD_PAGE, or until rows holds `enough` (a
// reader that takes no more than that). False when any page failed or did not read as
// an array, or the list runs past ORD_MAX_PAGES before that (rows then holds nothing):
// half a list is no answer where every inscription must be known.
bool ord_unspent_rows(const std::string& address, long timeout_s, core::Json& rows,
                      std::size_t enough = SIZE_MAX);

// The same list read as txos (elements that are not objects are left out).
bool ord_unspent_txos(const std::string& address, long timeout_s, std::vector<OrdTxo>& txos,
                      std::size_t enough = SIZE_MAX);

// One output as the index knows it (GET txos/{txid}_{vout}). False when the index did
// not answer with one.
bool ord_txo(const std::string& txid, std::uint32_t vout, long timeout_s, OrdTxo& txo);

// The token outputs the index lists at address (GET bsv20/{address}/unspent).
bool ord_token_txos(const std::string& address, long timeout_s, std::vector<OrdTxo>& txos);

// An inscription's content from the content host (GET content/{txid}_{vout}), read to
// cap bytes; the reply as it came (a reply past the cap is REPLY_TOO_LARGE).
HttpResult ord_content(const std::string& outpoint, long timeout_s, std::size_t cap);

}  // namespace chain
