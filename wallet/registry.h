#pragma once
// The platform folder shared with the wallet application: the wallet registry, the
// store lock that serialises it between processes, and this instance's bind file.
#include <string>
#include <vector>

#include "core/json.h"

namespace wallet {

struct AppBinding {
    std::string app;
    std::string instance;
    std::string wallet_id;  // bound wallet in memory; empty = not connected
    bool initialised = false;
};

struct WalletEntry {
    std::string id;
    std::string name;  // the id when the registry row had none
};

std::string platform_dir();

// Store lock: re-entrant within the process, plus an exclusive byte lock on
// "wallets.lock" held by the outermost holder. lock_store is false only when the
// nesting depth is exhausted.
bool lock_store();
void unlock_store();
// Scope guard for the store lock.
struct StoreLockGuard {
    bool held;
    StoreLockGuard() : held(lock_store()) {}
    ~StoreLockGuard() {
        if (held) unlock_store();
    }
    StoreLockGuard(const StoreLockGuard&) = delete;
    StoreLockGuard& operator=(const StoreLockGuard&) = delete;
};

// Caller holds the store lock.
core::Json load_registry();
bool save_registry(const core::Json& registry);

// "w" + milliseconds since 1970; never the same twice within the process.
std::string new_wallet_id();
// Ids name folders, so only [A-Za-z0-9_-], 1..64 characters, are accepted as ids.
bool is_valid_wallet_id(const std::string& id);
// The file-name word of an instance string.
std::string file_word(const std::string& instance);

void init_app_binding(const std::string& app, const std::string& instance);
void migrate_legacy_wallet();
std::vector<WalletEntry> list_wallets();
std::string wallet_display_name(const std::string& id);
void rename_wallet(const std::string& id, const std::string& name);

std::string wallet_json_path(const std::string& id);
std::string legacy_wallet_path();
std::string bound_wallet_file();
std::string bind_file_path();
std::string read_bound_wallet_id();
void write_bound_wallet_id(const std::string& id);
// Disconnect: removes the bind file and clears the id in memory.
void remove_binding();

// For tools that act on one wallet of the registry directly (the wallet application):
// binds in memory only, without a bind file.
void bind_wallet_in_memory(const std::string& app, const std::string& wallet_id);

// A copy of the process binding (thread-safe).
AppBinding app_binding();
// Tests: forget the binding and the lock depth.
void reset_registry_state();

}  // namespace wallet
