#pragma once
// Files that keep coins out of ordinary spending: the gallery's reserve of displayed
// artworks, the offer locks of pending sale offers, and the reservation files of the
// platform's other applications (read only). All are read afresh at every use.
//
// They fail closed. A file that exists but cannot be read as the expected JSON object
// reserves every coin (a displayed artwork must never pay a fee because its file was
// damaged), and a writer never replaces it: the change fails with an error instead.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace chain {

struct ReserveEntry {
    std::string pic_utxo;   // coin id, lowercase, ":" turned into "_"
    std::string cert_utxo;
    std::string pic;
    std::string cert;
    std::int64_t price_sats = -1;  // -1 = view only
    std::int64_t exp = 0;          // seconds since 1970; 0 or less = no end
    std::int64_t spot = 0;
};

// The word of the bound wallet in these files' names: its id ("none" without a bound
// wallet), bytes other than letters, digits, "-" and "_" as "_", at most 64 characters.
std::string reserve_file_word();
std::string reserve_file_path();
std::string offer_locks_path();
// Lowercase and ":" to "_".
std::string normalise_coin_id(const std::string& id);
std::string coin_id(const std::string& txid, std::uint32_t vout);

// The sentence for a reservation file that exists but cannot be read.
std::string unreadable_reservation_text(const std::string& path);

// A missing file reads as no entries. False with the error when the file exists but
// cannot be read.
bool read_reserve_entries(std::vector<ReserveEntry>& out, std::string& error);
// Read-modify-write under the wallet-state lock and the store lock: change receives the
// entries as the file holds them now and returns whether it changed them; only then is
// the file replaced (atomically, other members kept). False with the error when the file
// cannot be read (it is left as it is) or written.
bool update_reserve_entries(const std::function<bool(std::vector<ReserveEntry>&)>& change, std::string& error);
bool reserve_entry_live(const ReserveEntry& e, std::int64_t now_seconds);
// True when a live entry holds the coin as its artwork or certificate coin, and for
// every coin while the reserve cannot be read.
bool is_reserved_coin(const std::string& txid, std::uint32_t vout);

// Every coin id kept out of spending by the files (gallery reserve, offer locks and the
// other applications' files: "velmora" listings always, "tradora" holds unless the
// caller allows them), read once for one round of coin choice.
struct ReservedCoins {
    std::set<std::string> ids;
    bool all = false;         // a file could not be read: every coin counts as reserved
    std::string unreadable;   // the first such file
};
ReservedCoins reserved_coins(bool allow_trade_holds);

// Offer locks: coins held by a pending sale offer.
bool read_offer_locks(std::vector<std::string>& ids, std::string& error);
// Read-modify-write as update_reserve_entries.
bool update_offer_locks(const std::function<bool(std::vector<std::string>&)>& change, std::string& error);
bool add_offer_locks(const std::vector<std::string>& ids, std::string& error);
bool remove_offer_locks(const std::vector<std::string>& ids, std::string& error);

}  // namespace chain
