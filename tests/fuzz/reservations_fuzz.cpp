// The files that keep coins out of spending, as they may be found: the gallery reserve,
// the offer locks, and the other applications' reserve and hold files. The first byte
// picks the file the rest is written to (the readers take no text). Checks the
// fail-closed rules (an unreadable file reserves every coin and is never written over)
// and that a file that reads, once rewritten, reads the same.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <filesystem>

#include "chain/reservations.h"
#include "core/files.h"
#include "tests/fuzz/fuzz_support.h"
#include "wallet/registry.h"

namespace {

const std::string TXID(64, 'c');

bool same_entries(const std::vector<chain::ReserveEntry>& a, const std::vector<chain::ReserveEntry>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].pic_utxo != b[i].pic_utxo || a[i].cert_utxo != b[i].cert_utxo || a[i].pic != b[i].pic ||
            a[i].cert != b[i].cert || a[i].price_sats != b[i].price_sats || a[i].exp != b[i].exp ||
            a[i].spot != b[i].spot)
            return false;
    return true;
}

void unchanged(const std::string& path, const std::string& text) {
    std::string after;
    if (!core::read_file(path, after) || after != text) fuzz_support::fail("an unreadable file was written over");
}

void check_reserve(const std::string& path, const std::string& text) {
    std::vector<chain::ReserveEntry> entries;
    std::string error;
    if (!chain::read_reserve_entries(entries, error)) {
        if (!chain::is_reserved_coin(TXID, 0)) fuzz_support::fail("an unreadable reserve left a coin free");
        if (!chain::reserved_coins(true).all) fuzz_support::fail("an unreadable reserve did not reserve every coin");
        if (chain::update_reserve_entries([](std::vector<chain::ReserveEntry>&) { return true; }, error))
            fuzz_support::fail("an unreadable reserve was updated");
        unchanged(path, text);
        return;
    }
    if (!chain::update_reserve_entries([](std::vector<chain::ReserveEntry>&) { return true; }, error))
        fuzz_support::fail("a readable reserve could not be rewritten");
    std::vector<chain::ReserveEntry> again;
    if (!chain::read_reserve_entries(again, error) || !same_entries(entries, again))
        fuzz_support::fail("a rewritten reserve reads differently");
}

void check_offer_locks(const std::string& path, const std::string& text) {
    std::vector<std::string> ids;
    std::string error;
    if (!chain::read_offer_locks(ids, error)) {
        if (!chain::reserved_coins(true).all) fuzz_support::fail("unreadable offer locks did not reserve every coin");
        if (chain::add_offer_locks({TXID + "_1"}, error)) fuzz_support::fail("unreadable offer locks were updated");
        unchanged(path, text);
        return;
    }
    const chain::ReservedCoins reserved = chain::reserved_coins(true);
    for (const auto& id : ids)
        if (!reserved.all && !reserved.ids.count(id)) fuzz_support::fail("an offer lock did not reserve its coin");
    if (!chain::add_offer_locks({TXID + "_1"}, error)) fuzz_support::fail("readable offer locks could not be added to");
    std::vector<std::string> again;
    if (!chain::read_offer_locks(again, error)) fuzz_support::fail("offer locks do not read after an addition");
    for (const auto& id : ids)
        if (std::find(again.begin(), again.end(), id) == again.end()) fuzz_support::fail("an addition lost a lock");
}

void check_other(const std::string& text, bool holds) {
    const chain::ReservedCoins reserved = chain::reserved_coins(!holds);
    core::Json j;
    if (!reserved.all && !(core::parse_json(text, j) && j.is_object()))
        fuzz_support::fail("another application's file that is no JSON object was taken as read");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& dir = fuzz_support::platform_dir();
    fuzz_support::go_offline();
    wallet::bind_wallet_in_memory("Quenvale", "w1");
    std::filesystem::create_directories(dir + "/velmora");
    std::filesystem::create_directories(dir + "/tradora");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string& dir = fuzz_support::platform_dir();
    const std::string word = chain::reserve_file_word();
    const std::string files[4] = {chain::reserve_file_path(), chain::offer_locks_path(),
                                  dir + "/velmora/reserves_" + word + ".json", dir + "/tradora/reserves_" + word + ".json"};
    for (const auto& f : files) std::filesystem::remove(f);
    const int which = data[0] % 4;
    const std::string text(fuzz_support::text_of(data + 1, size - 1));
    fuzz_support::write_file(files[which], text);
    if (which == 0) check_reserve(files[0], text);
    if (which == 1) check_offer_locks(files[1], text);
    if (which >= 2) check_other(text, which == 3);
    return 0;
}
