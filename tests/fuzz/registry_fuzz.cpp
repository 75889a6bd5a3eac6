// wallets.json, the registry the wallet application writes. Checks the fail-closed rule:
// a registry that does not load reads as no wallets and is never written over, and one
// that loads gives a wallet file path only inside the wallets folder, and renames.
#include <cstddef>
#include <cstdint>

#include "core/files.h"
#include "tests/fuzz/fuzz_support.h"
#include "wallet/registry.h"

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    path = fuzz_support::platform_dir() + "/wallets.json";
    fuzz_support::go_offline();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz_support::text_of(data, size));
    fuzz_support::write_file(path, text);
    core::Json registry;
    std::string error;
    bool loaded;
    {
        wallet::StoreLockGuard lock;
        loaded = wallet::load_registry(registry, error);
    }
    const std::vector<wallet::WalletEntry> rows = wallet::list_wallets();
    const std::string wallets_dir = fuzz_support::platform_dir() + "/wallets/";
    for (const auto& row : rows) {
        const std::string file = wallet::wallet_json_path(row.id);
        if (!file.empty() && (file.rfind(wallets_dir, 0) != 0 || file.find("..") != std::string::npos ||
                              file.find('/', wallets_dir.size()) != wallets_dir.size() + row.id.size()))
            fuzz_support::fail("a listed wallet id makes a path outside its own folder");
    }
    if (!loaded) {
        if (error != wallet::REGISTRY_UNREADABLE) fuzz_support::fail("an unloadable registry gave another error");
        if (!rows.empty()) fuzz_support::fail("an unloadable registry listed wallets");
        (void)wallet::rename_wallet("w1", "Renamed");
        std::string after;
        if (!core::read_file(path, after) || after != text) fuzz_support::fail("an unloadable registry was written over");
        return 0;
    }
    if (!registry.is_object()) fuzz_support::fail("a loaded registry is not an object");
    if (!rows.empty()) {
        const std::string id = rows.front().id;
        if (wallet::rename_wallet(id, "Renamed").rfind("success", 0) == 0 && wallet::wallet_display_name(id) != "Renamed")
            fuzz_support::fail("a renamed wallet does not read back under its new name");
    }
    return 0;
}
