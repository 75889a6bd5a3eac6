#pragma once
// The stand-in wallet application's command line: small helpers shared by its commands.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/json.h"

namespace wendrel {

struct Args {
    std::vector<std::string> positional;      // after the command word
    std::map<std::string, std::string> opts;  // --key value
    std::map<std::string, bool> flags;        // --json, --reveal
    bool has(const std::string& flag) const { return flags.count(flag) > 0; }
    std::string opt(const std::string& key) const {
        auto it = opts.find(key);
        return it == opts.end() ? std::string() : it->second;
    }
    bool has_opt(const std::string& key) const { return opts.count(key) > 0; }
};

// Every command returns the process exit code; errors are one line on stderr.
int fail(const std::string& message);
void print_json(const core::Json& j);

int cmd_create(const Args& a);
int cmd_restore(const Args& a);
int cmd_list(const Args& a);
int cmd_show(const Args& a);
int cmd_seal(const Args& a);
int cmd_unseal(const Args& a);
int cmd_requests(const Args& a);
int cmd_approve(const Args& a);
int cmd_deny(const Args& a);
int cmd_auto(const Args& a);
int cmd_limit(const Args& a);
int cmd_balance(const Args& a);
int cmd_send(const Args& a);
int cmd_paymail(const Args& a);
int cmd_mint(const Args& a);

// A whole number of satoshis from min to 21 million BSV, digits only.
bool parse_sats(const std::string& text, std::int64_t min, std::int64_t& out);

// Binds this process (in memory only) to --wallet or the active wallet and loads it.
int open_wallet(const Args& a, std::string& id);

// The registry's active wallet, else its first; "" when there is none.
std::string active_wallet_id();
// True when id is a row of the registry.
bool wallet_exists(const std::string& id);

}  // namespace wendrel
