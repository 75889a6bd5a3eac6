// Test helper: saves the wallet document and renames the wallet in the registry in a
// tight loop until it is killed, so a test can kill it at random moments mid-write.
// Usage: survival_writer WALLET_ID (the platform folder comes from LOCALAPPDATA).
// Writes one byte to standard output once the first round is done.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: survival_writer WALLET_ID\n");
        return 2;
    }
    std::string id = argv[1];
    wallet::bind_wallet_in_memory("survival", id);
    if (!wallet::load_wallet()) {
        std::fprintf(stderr, "survival_writer: the wallet would not load\n");
        return 1;
    }
    for (unsigned long n = 1;; ++n) {
        std::string error;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            wallet::wallet_state().avatar = "av_" + std::to_string(n);
            if (!wallet::save_wallet(error)) {
                std::fprintf(stderr, "survival_writer: %s\n", error.c_str());
                return 1;
            }
        }
        std::string result = wallet::rename_wallet(id, "name-" + std::to_string(n));
        if (result.rfind("success", 0) != 0) {
            std::fprintf(stderr, "survival_writer: %s\n", result.c_str());
            return 1;
        }
        if (n == 1 && ::write(1, "r", 1) != 1) return 1;
    }
}
