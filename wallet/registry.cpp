#include "wallet/registry.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>

#include "core/clock.h"
#include "core/files.h"
#include "core/text.h"
#include "platform/file_lock.h"
#include "platform/folders.h"

namespace wallet {

namespace {

struct RegistryState {
    std::recursive_mutex store_mutex;
    int depth = 0;
    platform::FileLock file_lock;

    std::mutex binding_mutex;
    AppBinding binding;

    std::mutex id_mutex;
    std::int64_t last_id_ms = 0;
};

RegistryState& state() {
    static RegistryState s;
    return s;
}

bool write_json_file(const std::string& path, const core::Json& value) {
    return core::write_file_atomic(path, core::dump_pretty(value));
}

void write_bind_file(const AppBinding& b) {
    core::Json j = core::Json::object();
    j["app"] = b.app;
    j["instance"] = b.instance;
    j["wallet_id"] = b.wallet_id;
    write_json_file(bind_file_path(), j);
}

std::string bind_path_for(const std::string& instance) {
    std::string dir = platform_dir() + "/binds";
    core::make_dirs(dir);
    return dir + "/" + file_word(instance) + ".json";
}

}  // namespace

std::string platform_dir() { return platform::platform_dir(); }

bool lock_store() {
    auto& s = state();
    s.store_mutex.lock();
    if (s.depth == INT_MAX) {
        s.store_mutex.unlock();
        errno = EAGAIN;
        return false;
    }
    if (s.depth++ == 0) {
        std::string path = platform_dir() + "/wallets.lock";
        // Without the file lock we still serialise within the process.
        platform::lock_file_byte(path, s.file_lock);
    }
    return true;
}

void unlock_store() {
    auto& s = state();
    if (s.depth > 0 && --s.depth == 0) platform::unlock_file_byte(s.file_lock);
    s.store_mutex.unlock();
}

const char* const REGISTRY_UNREADABLE = "the wallet list could not be read; try again.";

bool load_registry(core::Json& registry, std::string& error) {
    registry = core::Json::object();
    std::string path = platform_dir() + "/wallets.json";
    std::string text;
    if (!core::read_file(path, text)) {
        if (core::entry_exists(path)) {
            error = REGISTRY_UNREADABLE;
            return false;
        }
    } else {
        core::Json parsed;
        if (!core::parse_json(text, parsed) || !parsed.is_object()) {
            error = REGISTRY_UNREADABLE;
            return false;
        }
        registry = std::move(parsed);
    }
    if (!registry.contains("wallets") || !registry["wallets"].is_array()) registry["wallets"] = core::Json::array();
    return true;
}

bool save_registry(const core::Json& registry) {
    return core::write_file_atomic(platform_dir() + "/wallets.json", core::dump_pretty(registry) + "\n");
}

std::string new_wallet_id() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.id_mutex);
    std::int64_t ms = core::now_ms();
    // Two ids asked for in one millisecond must still differ.
    if (ms <= s.last_id_ms) ms = s.last_id_ms + 1;
    s.last_id_ms = ms;
    return "w" + std::to_string(ms);
}

bool is_valid_wallet_id(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string file_word(const std::string& instance) {
    // Bind files were named case-folded, keeping the end of a long instance text (an
    // install folder differs from another at its end), so the rule stays that way.
    return core::safe_file_word(instance, {.lower = true, .max_len = 96, .keep_end = true, .if_empty = "default"});
}

void migrate_legacy_wallet() {
    StoreLockGuard guard;
    std::string legacy = legacy_wallet_path();
    if (!core::file_exists(legacy)) return;
    core::Json reg;
    std::string error;
    if (!load_registry(reg, error) || !reg["wallets"].empty()) return;
    std::string id = new_wallet_id();
    std::string dir = platform_dir() + "/wallets/" + id;
    if (core::entry_exists(dir) || !core::make_dirs(dir)) return;
    std::string target = dir + "/wallet.json";
    // Copy first and delete the legacy file only once the registry names the copy, so
    // a failure anywhere leaves the legacy file as the one document.
    if (core::copy_file(legacy, target)) {
        reg["wallets"].push_back({{"id", id}, {"name", "Wallet 1"}});
        reg["active"] = id;
        if (save_registry(reg)) {
            core::remove_file(legacy);
            return;
        }
        core::remove_file(target);
    }
    core::remove_file(dir);
}

void init_app_binding(const std::string& app, const std::string& instance) {
    StoreLockGuard guard;
    AppBinding b;
    b.initialised = true;
    b.app = app.empty() ? "App" : app;
    b.instance = instance.empty() ? "." : instance;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.binding_mutex);
        s.binding = b;
    }
    migrate_legacy_wallet();

    std::string id;
    std::string text;
    core::Json bind;
    if (core::read_file(bind_path_for(b.instance), text) && core::parse_json(text, bind))
        id = core::json_string(bind, "wallet_id");
    if (!is_valid_wallet_id(id)) id.clear();

    bool write = false;
    core::Json reg;
    std::string error;
    if (id.empty() && load_registry(reg, error)) {
        if (reg["wallets"].size() == 1) {
            id = core::json_string(reg["wallets"][0], "id");
            if (!is_valid_wallet_id(id)) id.clear();
            write = !id.empty();
        }
    }
    b.wallet_id = id;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.binding_mutex);
        s.binding = b;
    }
    if (write) write_bind_file(b);
}

std::vector<WalletEntry> list_wallets() {
    StoreLockGuard guard;
    std::vector<WalletEntry> out;
    core::Json reg;
    std::string error;
    if (!load_registry(reg, error)) return out;
    for (const auto& row : reg["wallets"]) {
        if (!row.is_object()) continue;
        WalletEntry e;
        e.id = core::json_string(row, "id");
        e.name = core::json_string(row, "name");
        if (e.id.empty()) continue;
        if (e.name.empty()) e.name = e.id;
        out.push_back(std::move(e));
    }
    return out;
}

std::string wallet_display_name(const std::string& id) {
    for (const auto& e : list_wallets())
        if (e.id == id) return e.name;
    return id;
}

std::string rename_wallet(const std::string& id, const std::string& name) {
    if (id.empty() || name.empty()) return "error: a wallet id and a name are needed.";
    StoreLockGuard guard;
    core::Json reg;
    std::string error;
    if (!load_registry(reg, error)) return "error: " + error;
    bool matched = false, changed = false;
    for (auto& row : reg["wallets"]) {
        if (!row.is_object() || core::json_string(row, "id") != id) continue;
        matched = true;
        if (row.contains("name") && row["name"] == name) continue;
        row["name"] = name;
        changed = true;
    }
    if (!matched) return "error: no wallet with that id in the wallet list.";
    if (!changed) return "success";
    if (!save_registry(reg)) return "error: the wallet list could not be written.";
    return "success";
}

std::string wallet_json_path(const std::string& id) {
    if (!is_valid_wallet_id(id)) return "";
    return platform_dir() + "/wallets/" + id + "/wallet.json";
}

std::string legacy_wallet_path() { return platform_dir() + "/orvane_wendrel.json"; }

std::string bound_wallet_file() {
    std::string id = app_binding().wallet_id;
    if (!id.empty()) return wallet_json_path(id);
    return legacy_wallet_path();
}

std::string bind_file_path() { return bind_path_for(app_binding().instance); }

std::string read_bound_wallet_id() {
    AppBinding b = app_binding();
    if (!b.initialised) return b.wallet_id;
    std::string text;
    core::Json bind;
    if (!core::read_file(bind_path_for(b.instance), text) || !core::parse_json(text, bind)) return "";
    std::string id = core::json_string(bind, "wallet_id");
    return is_valid_wallet_id(id) ? id : "";
}

void write_bound_wallet_id(const std::string& id) {
    AppBinding b;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.binding_mutex);
        if (!s.binding.initialised || !is_valid_wallet_id(id)) return;
        s.binding.wallet_id = id;
        b = s.binding;
    }
    write_bind_file(b);
}

void remove_binding() {
    AppBinding b;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.binding_mutex);
        if (!s.binding.initialised) return;
        s.binding.wallet_id.clear();
        b = s.binding;
    }
    core::remove_file(bind_path_for(b.instance));
}

void bind_wallet_in_memory(const std::string& app, const std::string& wallet_id) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.binding_mutex);
    s.binding = AppBinding{};
    s.binding.app = app;
    s.binding.instance = ".";
    s.binding.wallet_id = is_valid_wallet_id(wallet_id) ? wallet_id : "";
}

AppBinding app_binding() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.binding_mutex);
    return s.binding;
}

void reset_registry_state() {
    auto& s = state();
    {
        std::lock_guard<std::mutex> lock(s.binding_mutex);
        s.binding = AppBinding{};
    }
    std::lock_guard<std::mutex> lock(s.id_mutex);
    s.last_id_ms = 0;
}

}  // namespace wallet
