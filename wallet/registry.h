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

// What a registry operation reports when wallets.json exists but cannot be read.
extern const char* const REGISTRY_UNREADABLE;

// Caller holds the store lock. An absent wallets.json reads as an empty registry. One
// that is there but cannot be read or parsed gives false and REGISTRY_UNREADABLE, and
// then nothing may be written over it: it may be a torn read of the wallet
// application's list, and the next try usually succeeds.
bool load_registry(core::Json& registry, std::string& error);
bool save_registry(const core::Json& registry);

// "w" + milliseconds since 1970; never the same twice within the process.
std::string new_wallet_id();
// Ids name folders, so only [A-Za-z0-9_-], 1..64 characters, are accepted as ids.
bool is_valid_wallet_id(const std::string& id);
// The file-name word of an instance string.
std::string file_word(const std::string& instance);

void init_app_binding(const std::string& app, const std::string& instance);
// Moves the legacy document into an empty registry as "Wallet 1". The legacy file is
// deleted only after the registry names its copy; any failure undoes the copy, so the
// next start tries again.
void migrate_legacy_wallet();
// Empty when the registry cannot be read.
std::vector<WalletEntry> list_wallets();
std::string wallet_display_name(const std::string& id);
// Sets the name of the rows with that id; the registry is written only when a row
// matched and its name changed. Result text ("success…" / "error: …").
std::string rename_wallet(const std::string& id, const std::string& name);

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
