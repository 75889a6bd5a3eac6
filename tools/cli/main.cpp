// quenvale-cli: the gallery without windows. It uses the same platform folder, network
// profile and instance string (the executable's folder) as the windowed program.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "chain/spendable.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/result.h"
#include "ordinals/listing.h"
#include "platform/folders.h"
#include "wallet/connect.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace {

const char* const USAGE =
    "usage: quenvale-cli [--instance DIR] COMMAND [--json]\n"
    "\n"
    "  connect       ask the wallet application (wendrel) to connect this gallery to a wallet\n"
    "  disconnect    forget the connection (the wallet itself is untouched)\n"
    "  status        connected or not, wallet name, address, paymail, balance\n"
    "  arts          the connected wallet's inscriptions: origin, name and kind\n"
    "\n"
    "The instance string defaults to the folder of this program, as for the windowed gallery.\n"
    "Chain services come from the network profile (QUENVALE_PROFILE=/path/profile.json).\n";

int fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

void print_json(const core::Json& j) { std::cout << core::dump_pretty(j) << "\n"; }

int cmd_connect(bool json) {
    wallet::WalletObserver observer;
    // Tell the person what the program waits for.
    observer.text = [json](const std::string& line) {
        if (!json) std::fputs(line.c_str(), stderr);
    };
    wallet::set_wallet_observer(observer);
    std::string result = wallet::connect_wallet();
    wallet::set_wallet_observer({});
    bool ok = core::is_success(result);
    if (json)
        print_json({{"ok", ok}, {"result", result}, {"wallet_id", ok ? wallet::app_binding().wallet_id : ""}});
    else if (ok)
        std::printf("success: connected to %s\n", wallet::wallet_display_name(wallet::app_binding().wallet_id).c_str());
    else
        std::fprintf(stderr, "%s\n", result.c_str());
    return ok ? 0 : 1;
}

int cmd_disconnect(bool json) {
    std::string result = wallet::disconnect_wallet();
    if (json)
        print_json({{"ok", true}, {"result", result}});
    else
        std::printf("%s\n", result.c_str());
    return 0;
}

int cmd_status(bool json) {
    bool connected = false;
    std::string id = wallet::app_binding().wallet_id;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        connected = !id.empty() && wallet::load_wallet();
    }
    core::Json out = {{"connected", connected}};
    if (connected) {
        wallet::refresh_wallet_status();
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        out["wallet_id"] = id;
        out["wallet"] = wallet::wallet_display_name(id);
        out["address"] = s.address;
        out["identity_key"] = s.identity_pub;
        out["paymail"] = s.paymail.empty() ? "" : s.paymail + "@" + core::profile().paymail_domain;
        out["hd"] = s.hd;
        out["balance"] = s.cached_balance;
    } else if (!id.empty() && wallet::wallet_is_locked()) {
        out["locked"] = true;
    }
    if (json) {
        print_json(out);
        return 0;
    }
    if (!connected) {
        std::printf("not connected%s\n", out.contains("locked") ? " (the wallet is locked; open it in Wendrel)" : "");
        return 0;
    }
    std::printf("connected to %s (%s)\naddress: %s\npaymail: %s\nbalance: %s\n",
                out["wallet"].get<std::string>().c_str(), id.c_str(), out["address"].get<std::string>().c_str(),
                out["paymail"].get<std::string>().c_str(),
                out["balance"].get<std::int64_t>() >= 0 ? (std::to_string(out["balance"].get<std::int64_t>()) + " sats").c_str()
                                                        : "unknown");
    return 0;
}

int cmd_arts(bool json) {
    std::vector<ordinals::OvWendrelOrdRow> rows;
    std::string error = ordinals::ov_wendrel_list_ordinals(rows, true, false);
    if (!error.empty() && rows.empty()) return fail(error);
    if (json) {
        core::Json out = core::Json::array();
        for (const auto& r : rows) out.push_back({{"origin", r.origin}, {"name", r.name}, {"kind", r.kind}});
        print_json(out);
        return 0;
    }
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    if (rows.empty()) std::printf("no inscriptions in this wallet\n");
    for (const auto& r : rows) std::printf("%s  %-12s %s\n", r.origin.c_str(), r.kind.c_str(), r.name.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string instance = platform::executable_dir();
    std::string command;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h" || a == "help") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (a == "--json") {
            json = true;
        } else if (a == "--instance") {
            if (i + 1 >= argc) return fail("error: --instance needs a folder");
            instance = argv[++i];
        } else if (command.empty()) {
            command = a;
        } else {
            return fail("error: unexpected argument \"" + a + "\"; see quenvale-cli --help");
        }
    }
    if (command.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    wallet::init_app_binding("Quenvale", instance);
    if (command == "connect") return cmd_connect(json);
    if (command == "disconnect") return cmd_disconnect(json);
    if (command == "status") return cmd_status(json);
    if (command == "arts") return cmd_arts(json);
    return fail("error: unknown command \"" + command + "\"; see quenvale-cli --help");
}
