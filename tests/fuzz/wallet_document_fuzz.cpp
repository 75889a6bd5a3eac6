// The bound wallet's document as the wallet application (or damage) may leave it:
// peeked at, loaded, merged and saved through the real functions on a file of a
// temporary platform folder (the loader takes no text). Checks that a loaded wallet has
// a valid address, that merging the same document keeps it, and that a saved document
// loads again as the same wallet.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "tests/fuzz/fuzz_support.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"

namespace {
std::string doc_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& dir = fuzz_support::platform_dir();
    fuzz_support::go_offline();
    std::filesystem::create_directories(dir + "/wallets/w1");
    fuzz_support::write_file(dir + "/wallets.json", R"({"wallets":[{"id":"w1","name":"One"}]})");
    wallet::bind_wallet_in_memory("Quenvale", "w1");
    doc_path = wallet::wallet_json_path("w1");
    if (doc_path.empty()) fuzz_support::fail("no path for wallet w1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::filesystem::remove(doc_path + ".seal");
    fuzz_support::write_file(doc_path, fuzz_support::text_of(data, size));
    wallet::forget_wallet();
    (void)wallet::peek_wallet_summary();
    (void)wallet::wallet_is_locked();
    if (!wallet::load_wallet()) return 0;
    const std::string address = wallet::wallet_address();
    core::Bytes h20;
    if (!wallet::hash160_from_address(address, h20)) fuzz_support::fail("a loaded wallet has no valid address");
    wallet::merge_wallet_changes();
    if (wallet::wallet_address() != address) fuzz_support::fail("merging the same document moved the address");
    std::string error;
    if (!wallet::save_wallet(error)) return 0;
    wallet::forget_wallet();
    if (!wallet::load_wallet() || wallet::wallet_address() != address)
        fuzz_support::fail("a saved document does not load as the same wallet");
    wallet::forget_wallet();
    return 0;
}
