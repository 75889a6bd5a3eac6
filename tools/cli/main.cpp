// quenvale-cli: the gallery without windows. It uses the same platform folder, network
// profile and instance string (the executable's folder) as the windowed program.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/spendable.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/text.h"
#include "ledger/records.h"
#include "ledger/sale.h"
#include "ordinals/listing.h"
#include "platform/folders.h"
#include "tools/common/args.h"
#include "tools/common/report.h"
#include "wallet/connect.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace {

using tools::print_json;

int fail(const std::string& text) { return tools::fail("quenvale-cli", text); }

// The four sale steps, each on one frame.
void add_sale_commands(tools::ProgramSpec& p) {
    p.commands.push_back({"ask", "--frame N [--json]", "Asks to buy the piece on frame N (1..10) at its price.", {},
                          {"frame"}, {"frame"}, 0, 0});
    p.commands.push_back({"accept", "--frame N [--buyer KEY] [--json]",
                          "Signs the title over to a buyer who asked (default: the buyer of the latest ask).", {},
                          {"frame", "buyer"}, {"frame"}, 0, 0});
    p.commands.push_back({"pay", "--frame N [--json]",
                          "Pays for an accepted ask: posts the offer that the owner completes.", {}, {"frame"},
                          {"frame"}, 0, 0});
    p.commands.push_back({"complete", "--frame N [--json]",
                          "Signs the artwork over to the buyer of the waiting offer and sends the sale.", {}, {"frame"},
                          {"frame"}, 0, 0});
}

// Runs one sale step; prints its result text and succeeds only on "success".
int cmd_sale(const tools::Args& args, bool json) {
    const std::string frame_text = args.opt("frame");
    int frame = 0;
    if (frame_text.size() <= 2 && !frame_text.empty() &&
        frame_text.find_first_not_of("0123456789") == std::string::npos)
        frame = std::stoi(frame_text);
    if (frame < 1 || frame > ledger::FRAME_COUNT) return fail("--frame takes a number from 1 to 10");
    std::string result;
    if (args.command == "ask")
        result = ledger::gallery_ask(frame);
    else if (args.command == "accept")
        result = ledger::gallery_accept(frame, args.has_opt("buyer") ? args.opt("buyer") : "");
    else if (args.command == "pay")
        result = ledger::gallery_pay(frame, "");
    else
        result = ledger::gallery_complete(frame, "");
    const bool ok = core::is_success(result);
    if (json)
        print_json({{"ok", ok}, {"result", result}});
    else if (ok)
        std::printf("%s\n", core::strip_controls(result).c_str());
    else
        return fail(result);
    return ok ? 0 : 1;
}

// Every command takes the global --instance and --json and nothing else.
tools::ProgramSpec program() {
    tools::ProgramSpec p;
    p.name = "quenvale-cli";
    p.synopsis = "[--instance DIR] COMMAND [--json]";
    p.notes =
        "The instance string defaults to the folder of this program, as for the windowed gallery.\n"
        "Chain services come from the network profile (QUENVALE_PROFILE=/path/profile.json;\n"
        "main net when unset).\n";
    p.global_flags = {"json"};
    p.global_options = {"instance"};
    p.commands = {
        {"connect", "[--json]",
         "Asks the wallet application (wendrel) to connect this gallery to a wallet and waits\n"
         "up to a minute for its answer.",
         {}, {}, {}, 0, 0},
        {"disconnect", "[--json]", "Forgets the connection (the wallet itself is untouched).", {}, {}, {}, 0, 0},
        {"status", "[--json]", "Connected or not, wallet name, address, paymail and balance.", {}, {}, {}, 0, 0},
        {"arts", "[--json]", "The connected wallet's inscriptions: origin, kind and name.", {}, {}, {}, 0, 0},
    };
    add_sale_commands(p);
    return p;
}

int cmd_connect(bool json) {
    wallet::WalletObserver observer;
    // Tell the person what the program waits for.
    observer.text = [json](const std::string& line) {
        if (!json) std::fprintf(stderr, "%s\n", core::strip_controls(core::trim_right(line, "\n")).c_str());
    };
    wallet::set_wallet_observer(observer);
    std::string result = wallet::connect_wallet();
    wallet::set_wallet_observer({});
    bool ok = core::is_success(result);
    if (json)
        print_json({{"ok", ok}, {"result", result}, {"wallet_id", ok ? wallet::app_binding().wallet_id : ""}});
    else if (ok)
        std::printf("success: connected to %s\n",
                    core::strip_controls(wallet::wallet_display_name(wallet::app_binding().wallet_id)).c_str());
    else
        return fail(result);
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
    std::string unreachable;  // why the chain service gave no listing, when it did not
    if (connected) {
        wallet::refresh_wallet_status();
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        chain::coins_unreachable(unreachable);
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
    std::int64_t balance = out["balance"].get<std::int64_t>();
    std::string shown_balance = balance >= 0 ? std::to_string(balance) + " sats" : "unknown";
    if (!unreachable.empty()) shown_balance += " (" + unreachable + ")";
    std::printf("connected to %s (%s)\naddress: %s\npaymail: %s\nbalance: %s\n",
                core::strip_controls(out["wallet"].get<std::string>()).c_str(), core::strip_controls(id).c_str(),
                core::strip_controls(out["address"].get<std::string>()).c_str(),
                core::strip_controls(out["paymail"].get<std::string>()).c_str(),
                core::strip_controls(shown_balance).c_str());
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
    // A partial list is still shown; the reason it is partial goes to stderr.
    if (!error.empty()) tools::warn("quenvale-cli", error);
    if (rows.empty()) std::printf("no inscriptions in this wallet\n");
    // Names and kinds come from the chain: anyone can inscribe escape sequences.
    for (const auto& r : rows)
        std::printf("%s  %-12s %s\n", core::strip_controls(r.origin).c_str(), core::strip_controls(r.kind).c_str(),
                    core::strip_controls(r.name).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const tools::ProgramSpec spec = program();
    tools::Args args;
    std::string error;
    switch (tools::parse_args(spec, std::vector<std::string>(argv + 1, argv + argc), args, error)) {
    case tools::Parse::Help:
        std::fputs(tools::help_text(spec, args.command).c_str(), stdout);
        return 0;
    case tools::Parse::NoWords:
        std::fputs(tools::help_text(spec, "").c_str(), stderr);
        return 2;
    case tools::Parse::Error:
        return fail(error);
    case tools::Parse::Run:
        break;
    }
    // A named profile that does not load must not turn into main net.
    if (std::string profile_error = core::profile_error(); !profile_error.empty()) return fail(profile_error);
    const bool json = args.has("json");
    wallet::init_app_binding("Quenvale", args.has_opt("instance") ? args.opt("instance") : platform::executable_dir());
    if (args.command == "connect") return cmd_connect(json);
    if (args.command == "disconnect") return cmd_disconnect(json);
    if (args.command == "status") return cmd_status(json);
    if (args.command == "arts") return cmd_arts(json);
    if (args.command == "ask" || args.command == "accept" || args.command == "pay" || args.command == "complete")
        return cmd_sale(args, json);
    return fail("unknown command \"" + args.command + "\"");
}
