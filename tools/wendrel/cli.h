#pragma once
// The stand-in wallet application's command line: small helpers shared by its commands.
#include <cstdint>
#include <string>
#include <vector>

#include "core/json.h"
#include "tools/common/args.h"
#include "tools/common/report.h"
#include "tools/wendrel/operations.h"

namespace wendrel {

using Args = tools::Args;

// Every command returns the process exit code; errors are one line on stderr,
// "wendrel: error: …" (tools::fail).
int fail(const std::string& message);
using tools::print_json;

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

// No command: the wallet window. automation prints where its buttons are, for tests.
int run_window(bool automation);

// A whole number of satoshis from min to 21 million BSV, digits only.
bool parse_sats(const std::string& text, std::int64_t min, std::int64_t& out);

// Binds this process (in memory only) to --wallet or the active wallet and loads it.
int open_wallet(const Args& a, std::string& id);

}  // namespace wendrel
