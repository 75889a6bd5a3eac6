#pragma once
// Files that keep coins out of ordinary spending: the gallery's reserve of displayed
// artworks, the offer locks of pending sale offers, and the reservation files of the
// platform's other applications (read only). All are read afresh at every use.
#include <cstdint>
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

// "none" without a bound wallet; bytes other than letters, digits and "-" become "_";
// "wallet" when empty; at most 64 characters.
std::string reserve_file_word();
std::string reserve_file_path();
// Lowercase and ":" to "_".
std::string normalise_coin_id(const std::string& id);
std::string coin_id(const std::string& txid, std::uint32_t vout);

// A missing or unparsable file reads as an empty list.
std::vector<ReserveEntry> read_reserve_entries();
// False when the file could not be written. Other members of the file are kept.
bool write_reserve_entries(const std::vector<ReserveEntry>& entries);
bool reserve_entry_live(const ReserveEntry& e, std::int64_t now_seconds);
// True when a live entry holds the coin as its artwork or certificate coin.
bool is_reserved_coin(const std::string& txid, std::uint32_t vout);

// Reservations of the platform's other applications ("velmora" listings always,
// "tradora" holds unless the caller allows them).
bool is_other_app_reserved(const std::string& coin_id, bool allow_trade_holds);

// Every coin id kept out of spending by the files above (gallery reserve, other
// applications' reservations, offer locks), read once for one round of coin choice.
std::set<std::string> reserved_coin_ids(bool allow_trade_holds);

// Offer locks: coins held by a pending sale offer.
std::string offer_word();
std::string offer_locks_path();
std::vector<std::string> read_offer_locks();
bool write_offer_locks(const std::vector<std::string>& ids);
bool add_offer_locks(const std::vector<std::string>& ids);
bool remove_offer_locks(const std::vector<std::string>& ids);

}  // namespace chain
