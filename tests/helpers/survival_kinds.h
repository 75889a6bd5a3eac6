#pragma once
// What survival_writer writes in round n of each file kind, shared with the tests that
// check it: every value names its round, so old and new content are told apart exactly.
#include <cstdint>
#include <string>

#include "chain/reservations.h"
#include "shell/view_settings.h"
#include "wallet/registry.h"

namespace survival {

inline const std::string WALLET_ID = "w1";
inline const std::string SPENT_TXID(64, 'a');
inline const std::string CHANGE_TXID(64, 'b');

inline std::string avatar_of(unsigned long n) { return "av_" + std::to_string(n); }
inline std::string name_of(unsigned long n) { return "name-" + std::to_string(n); }
inline std::int64_t change_sats_of(unsigned long n) { return 1000 + static_cast<std::int64_t>(n); }
inline std::string lock_id_of(unsigned long n) { return std::string(64, 'd') + "_" + std::to_string(n); }
// Each round caches the content of an inscription of its own: content never changes.
inline std::string content_origin_of(unsigned long n) { return std::string(64, 'c') + "_" + std::to_string(n); }
inline std::string content_of(unsigned long n) { return "content of round " + std::to_string(n); }
inline std::string content_type_of(unsigned long n) { return "text/plain; round=" + std::to_string(n); }

// A reserve entry of its own for each (tag, n): the round is the spot and the price.
inline chain::ReserveEntry reserve_entry_of(const std::string& tag, unsigned long n) {
    chain::ReserveEntry e;
    e.pic = tag + "-" + std::to_string(n);
    e.pic_utxo = std::string(64, 'e') + "_" + std::to_string(n);
    e.price_sats = static_cast<std::int64_t>(n);
    e.spot = static_cast<std::int64_t>(n);
    return e;
}

inline std::string window_folder() { return wallet::platform_dir() + "/view"; }
// A rectangle that stays within the bounds read_window accepts for every round.
inline shell::WindowPlacement window_of(unsigned long n) {
    shell::WindowPlacement p;
    p.valid = true;
    p.left = static_cast<std::int32_t>(n % 10000);
    p.top = static_cast<std::int32_t>(n / 10000);
    p.right = p.left + 800;
    p.bottom = p.top + 600;
    p.max = n % 2 == 1;
    return p;
}
inline unsigned long round_of_window(const shell::WindowPlacement& p) {
    return static_cast<unsigned long>(p.top) * 10000 + static_cast<unsigned long>(p.left);
}

}  // namespace survival
