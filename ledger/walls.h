#pragma once
// The wall reader: each frame's history is read back from the chain indexers, its
// gallery records verified and replayed in timestamp order into one SpotLoad per frame.
// Histories are cached 45 seconds with one fetch shared by concurrent readers; a
// history that could not be read completely is an error, never a shorter history.
// Nothing here throws.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/json.h"
#include "ledger/records.h"

namespace ledger {

inline constexpr std::int64_t HISTORY_FRESH_MS = 45 * 1000;
// How long this program's own records are laid over a frame's history while the
// indexers may not list them yet.
inline constexpr std::int64_t OWN_RECORD_WINDOW_S = 10 * 60;
// Reserve sync leaves entries this young alone, for the same reason.
inline constexpr std::int64_t RESERVE_SYNC_GRACE_S = OWN_RECORD_WINDOW_S;
// Own records kept at once; the oldest gives way.
inline constexpr std::size_t MAX_OWN_RECORDS = 64;
// Transactions of one history fetched at the same time.
inline constexpr int HISTORY_FETCH_WIDTH = 8;
// Upper bounds of values read from records: amounts (21 million BSV in sats) and
// times (the end of the year 9999).
inline constexpr std::int64_t MAX_RECORD_SATS = 2'100'000'000'000'000;
inline constexpr std::int64_t MAX_RECORD_TIME = 253'402'300'799;
inline constexpr std::size_t MAX_HISTORY_TXIDS = 20000;

struct AskEntry {
    std::string txid;
    std::string buyer;      // identity key, compressed lowercase
    std::string buyer_ord;  // ordinals address
    std::string handle;
    std::int64_t price = 0;
    std::int64_t ts = 0;
};

struct AcceptEntry {
    std::string txid;
    std::string buyer;
    std::string title_json;
    std::int64_t price = 0;
    std::int64_t ts = 0;
};

struct FundedEntry {
    std::string txid;
    std::string offer;      // hex text
    std::string offer_sha;  // lowercase
    std::int64_t ts = 0;
    std::string signer;     // the art_gfunded's signing key, compressed lowercase
};

struct SpotLoad {
    bool shown = false;
    int spot = 0;  // 1..10
    std::string show_txid;
    std::string pic;          // 64 hex, lowercase
    std::string cert;         // 64 hex, lowercase
    std::string pic_origin;   // the record's coin form of pic (txid_vout), or pic + "_0"
    std::string cert_origin;  // likewise for cert
    std::string sha256;
    std::string owner;  // signer of the art_show, compressed lowercase
    std::string handle;
    std::string pay_addr;
    std::string pic_utxo;
    std::string cert_utxo;
    std::string title, artist_name, created, note, owner_paymail;
    std::int64_t price = -1;  // -1 = view only
    std::int64_t exp = 0;     // 0 = no end
    std::int64_t shown_at = 0;
    std::int64_t shown_height = 0;  // block of the art_show, 0 while it is in none
    std::vector<AskEntry> asks;
    std::vector<AcceptEntry> accepts;
    std::vector<FundedEntry> funded;
    bool sold = false;
    std::string error;  // empty when the history was read
};

// One verified record of a history, in the chain's order (ledger/trust.h).
struct HistoryEntry {
    std::string txid;
    core::Json record;
    core::Json transaction;
    std::string signer;  // compressed lowercase signing key
    std::int64_t ts = 0;
    std::int64_t height = 0;      // block height of the transaction, 0 while in none
    std::int64_t chain_time = 0;  // its block time, or the time it was read while in none
    std::vector<std::string> replays;  // other transactions carrying the same signed record
};

// The 64-character id of an inscription or coin text: the first 64 characters,
// lowercased, when the text is a bare id or an id + "_" + index; else "". Every
// comparison of pics and certs goes through it.
std::string inscription_id(const std::string& text);
// The coin form (txid_vout, lowercase) of an inscription text: the text itself when it
// is an outpoint, id + "_0" for a bare id, else "".
std::string inscription_origin(const std::string& text);

// Ten frames in order; error is the first frame error, "" when every frame was read.
void load_walls(std::string& error, std::array<SpotLoad, FRAME_COUNT>& walls);
SpotLoad load_spot(int index, std::int64_t now);
std::string shown_pic(int index, std::int64_t now);

// A history as kept: shared by every reader, never changed once read.
using History = std::shared_ptr<const std::vector<HistoryEntry>>;

// out is never null; it is empty when the history could not be read.
bool spot_history(const std::string& spot, const std::string& watch_address, History& out, std::string& error);

// Receives a source's ids as soon as that source has answered.
using IdSink = std::function<void(const std::vector<std::string>&)>;
// Transaction ids of a frame's history: the platform indexer (paged) beside
// WhatsOnChain's two history lists; first-seen order, lowercase, unique. Each source's
// ids also go to sink (when given) as they come in.
bool history_txids(const std::string& oracle, const std::string& watch_address, std::vector<std::string>& out,
                   std::string& error, const IdSink& sink = {});
bool fetch_tx(const std::string& txid, core::Json& out);
// The same, telling a transaction too large for any gallery posting (skipped as one
// without a record) from one that could not be fetched (the history is incomplete).
enum class TxFetch { found, too_large, missed };
TxFetch fetch_tx_checked(const std::string& txid, core::Json& out);

// Lists a history's ids, feeding them to the sink as they come; false with the error
// text when no source answered.
using IdSource = std::function<bool(const IdSink&, std::string&)>;
// Hands work to run beside the transaction fetches of a history.
using Later = std::function<void(std::function<void()>)>;
// Sees each record found while a history is read, before it is verified: a chance to
// ask early for what the record will need.
using RecordHook = std::function<void(const core::Json& record, const Later& later)>;

// A history kept HISTORY_FRESH_MS under key, one fetch shared by concurrent readers.
// Transactions are fetched (HISTORY_FETCH_WIDTH at a time) as soon as a source names
// them; records are extracted, verified, held to the time window of their chain time and
// put in the chain's order with replays folded (order_history). Transactions without a
// gallery record, too large to be a posting, and invalid records are dropped; a
// transaction that could not be fetched or a record that could not be checked fails the
// read with partial_error.
bool cached_history(const std::string& key, const IdSource& ids, const std::string& partial_error,
                    const RecordHook& hook, History& out, std::string& error);

// Whether a coin (txid_vout) is spent, by WhatsOnChain's output lookup. A spent answer
// is kept for the life of the process, an unspent one as long as a history.
bool out_spent(const std::string& coin_id);
// Whether out_spent would answer at once, from what it keeps.
bool out_spent_known(const std::string& coin_id);

// Who held an artwork's title where a record stands in the chain's order: owner is ""
// when nobody did yet. False when the title could not be read.
using TitleAt = std::function<bool(const std::string& pic, const HistoryEntry& at, std::string& owner)>;

// The frame's display from its history, without network calls other than the
// architect role and title_at (exposed for tests). A display counts only when it was
// paid for its weeks, the frame was free where it stands and its signer held the title
// there; an architect's clear takes down whatever the frame shows.
struct DisplayPass {
    SpotLoad display;
    bool hidden = false;
    bool title_unread = false;  // a title look-up got no answer: the frame is not known
    std::size_t show_index = SIZE_MAX;  // the display's art_show in the history
    std::vector<std::pair<std::size_t, std::size_t>> cleared;  // (art_show, art_gclear) indices
};
DisplayPass replay_display(int frame, const std::vector<HistoryEntry>& history, std::int64_t now,
                           const TitleAt& title_at);
// The title look-up of the wall reader (pairs: title_owner_at).
TitleAt chain_title_at();
// Parses an art_show into a display; false when a number is out of range or wrong.
bool parse_show(const HistoryEntry& e, SpotLoad& out);

// Drops the live reserve entry of each frame read whose pic the frame does not show,
// unless the entry is younger than RESERVE_SYNC_GRACE_S. read[i] tells whether frame
// i + 1's history was read completely.
void sync_reserve(const std::array<SpotLoad, FRAME_COUNT>& walls, const std::array<bool, FRAME_COUNT>& read,
                  std::int64_t now);

// After a successful post of a frame record: the frame's cached history is dropped and
// the record (as signed and posted) is part of every read of that history until an
// indexer lists its txid or OWN_RECORD_WINDOW_S have passed. Ignored when the spot is
// not a frame or not the record's own, the txid is not one or the record carries no
// signing key and time.
// fee_address and fee are what the posting paid beside the record, as its transaction
// would show them.
void remember_own_record(const std::string& spot, const std::string& txid, const core::Json& record,
                         const std::string& fee_address = "", std::int64_t fee = 0);
// The txid of a posting result ("success: <txid>..."), else "".
std::string posted_txid(const std::string& result);
// The time for a record that must replay after a display shown at shown_at: now, or one
// second after the showing when both fall in the same second (equal times replay in txid
// order, which could put a closing hide before its show).
std::int64_t time_after_showing(std::int64_t shown_at);
// Signs and posts a record about the frame of row (post_record) and, on success,
// remembers it as this program's own.
std::string post_frame_record(core::Json& record, const FrameRow& row, const std::string& fee_address,
                              std::int64_t fee);

// Tests: forget the history, spent and certificate caches and the own records.
void reset_wall_caches();

}  // namespace ledger
