// quenvale-cli: the gallery without windows. It uses the same platform folder, network
// profile and instance string (the executable's folder) as the windowed program.
#include <array>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bridge/price.h"
#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/spendable.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/text.h"
#include "ledger/admission.h"
#include "ledger/place.h"
#include "ledger/records.h"
#include "ledger/sale.h"
#include "ledger/walls.h"
#include "ordinals/listing.h"
#include "platform/folders.h"
#include "tools/cli/page_host.h"
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
        {"walls", "[--json]", "The ten frames: what each shows, its price, owner, asks, accepts and funded offers.",
         {}, {}, {}, 0, 0},
        {"place", "--frame N --origin ORIGIN --weeks 1|2 [--price TEXT] [--unit sats|bsv] [--json]",
         "Places one of the wallet's artworks on a free frame and pays the placement fee.\n"
         "Without a price it is on view only.",
         {}, {"frame", "origin", "weeks", "price", "unit"}, {"frame", "origin", "weeks"}, 0, 0},
        {"remove", "--frame N [--json]", "Takes the wallet's artwork down from a frame.", {}, {"frame"}, {"frame"}, 0, 0},
        {"enter", "[--json]", "Pays the admission to the room (200 sats); running it is the consent.", {}, {}, {}, 0, 0},
        {"page", "[--answer yes|no] [--web DIR]",
         "A headless page host: one page message (a JSON object) per line on standard input,\n"
         "every host message as one JSON line on standard output. --answer answers the\n"
         "admission question (default no); frame pictures go to DIR/spots when DIR can be\n"
         "written (default: the QuenvaleWeb folder beside this program), else to the data\n"
         "folder. Ends when standard input ends and the last operation has answered, or\n"
         "five seconds after an unpaid admission.",
         {}, {"answer", "web"}, {}, 0, 0},
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

// The operation's result text; exit 0 only for a success.
int report_result(const std::string& result, bool json) {
    const bool ok = core::is_success(result);
    if (json)
        print_json({{"ok", ok}, {"result", result}});
    else if (ok)
        std::printf("%s\n", core::strip_controls(result).c_str());
    else
        return fail(result);
    return ok ? 0 : 1;
}

// A frame number as typed: decimal digits only. Out-of-room numbers are left to the
// operation, which says so in its own words.
bool frame_number(const std::string& text, int& out) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoi(text);
    return true;
}

core::Json frame_json(const ledger::SpotLoad& s) {
    core::Json asks = core::Json::array(), accepts = core::Json::array(), funded = core::Json::array();
    for (const auto& a : s.asks) asks.push_back({{"txid", a.txid}, {"buyer", a.buyer}, {"price", a.price}, {"ts", a.ts}});
    for (const auto& a : s.accepts)
        accepts.push_back({{"txid", a.txid}, {"buyer", a.buyer}, {"price", a.price}, {"ts", a.ts}});
    for (const auto& f : s.funded) funded.push_back({{"txid", f.txid}, {"ts", f.ts}, {"status", "funded"}});
    return {{"spot", s.spot},         {"shown", s.shown},
            {"pic", s.pic},           {"cert", s.cert},
            {"owner", s.owner},       {"handle", s.handle},
            {"title", s.title},       {"artist_name", s.artist_name},
            {"price", s.price},       {"exp", s.exp},
            {"shown_at", s.shown_at}, {"sold", s.sold},
            {"error", s.error},       {"asks", asks},
            {"accepts", accepts},     {"funded", funded}};
}

// A text from the chain as one field of a line: in quotes, with its own quotes and
// backslashes escaped, so no title can fake the fields after it.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : core::strip_controls(text)) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

int cmd_walls(bool json) {
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    const std::string status = error.empty() ? "success" : "error: " + error;
    if (json) {
        core::Json frames = core::Json::array();
        for (const auto& s : walls) frames.push_back(frame_json(s));
        print_json({{"ok", error.empty()}, {"result", status}, {"status", status}, {"frames", frames}});
        return error.empty() ? 0 : 1;
    }
    // Titles, handles and errors come from the chain: anyone can write escape sequences.
    for (const auto& s : walls) {
        std::string line = "AP" + std::to_string(s.spot) + "  ";
        if (!s.error.empty())
            line += "unreadable: " + s.error;
        else if (!s.shown)
            line += "empty";
        else
            line += s.pic + "  " + quoted(s.title) + " by " + quoted(s.artist_name) + "  " +
                    (s.price < 0 ? std::string("view only") : std::to_string(s.price) + " sats") + "  @" + s.handle +
                    (s.sold ? "  sold" : "") + "  asks " + std::to_string(s.asks.size()) + ", accepts " +
                    std::to_string(s.accepts.size()) + ", funded " + std::to_string(s.funded.size());
        std::printf("%s\n", core::strip_controls(line).c_str());
    }
    if (!error.empty()) return fail(status);
    return 0;
}

int cmd_place(const tools::Args& args, bool json) {
    int frame = 0;
    if (!frame_number(args.opt("frame"), frame)) return fail("--frame takes a frame number from 1 to 10");
    const std::string weeks_text = args.opt("weeks");
    const int weeks = weeks_text == "1" ? 1 : weeks_text == "2" ? 2 : 0;
    const std::string unit = args.has_opt("unit") ? args.opt("unit") : "sats";
    if (unit != "sats" && unit != "bsv") return fail("--unit is sats or bsv");
    const bridge::PriceEntry price = bridge::parse_price(args.opt("price"), unit);
    if (!price.accepted) return report_result("error: " + price.message, json);
    return report_result(ledger::ov_gallery_place(frame, args.opt("origin"), price.sats, weeks), json);
}

int cmd_remove(const tools::Args& args, bool json) {
    int frame = 0;
    if (!frame_number(args.opt("frame"), frame)) return fail("--frame takes a frame number from 1 to 10");
    return report_result(ledger::gallery_remove(frame), json);
}

// Runs one sale step; prints its result text and succeeds only on "success".
int cmd_sale(const tools::Args& args, bool json) {
    int frame = 0;
    if (!frame_number(args.opt("frame"), frame) || frame < 1 || frame > ledger::FRAME_COUNT)
        return fail("--frame takes a number from 1 to 10");
    std::string result;
    if (args.command == "ask")
        result = ledger::gallery_ask(frame);
    else if (args.command == "accept")
        result = ledger::gallery_accept(frame, args.has_opt("buyer") ? args.opt("buyer") : "");
    else if (args.command == "pay")
        result = ledger::gallery_pay(frame, "");
    else
        result = ledger::gallery_complete(frame, "");
    return report_result(result, json);
}

int cmd_enter(bool json) { return report_result(ledger::gallery_enter(), json); }

int cmd_page(const tools::Args& args) {
    cli::PageHostOptions options;
    const std::string answer = args.has_opt("answer") ? args.opt("answer") : "no";
    if (answer != "yes" && answer != "no") return fail("--answer is yes or no");
    options.answer_yes = answer == "yes";
    options.web_dir = args.has_opt("web") ? args.opt("web") : platform::executable_dir() + "/QuenvaleWeb";
    return cli::run_page_host(options);
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args;
    int exit_code = 0;
    if (!tools::start_command(program(), argc, argv, args, exit_code)) return exit_code;
    const bool json = args.has("json");
    wallet::init_app_binding("Quenvale", args.has_opt("instance") ? args.opt("instance") : platform::executable_dir());
    if (args.command == "connect") return cmd_connect(json);
    if (args.command == "disconnect") return cmd_disconnect(json);
    if (args.command == "status") return cmd_status(json);
    if (args.command == "arts") return cmd_arts(json);
    if (args.command == "walls") return cmd_walls(json);
    if (args.command == "place") return cmd_place(args, json);
    if (args.command == "remove") return cmd_remove(args, json);
    if (args.command == "enter") return cmd_enter(json);
    if (args.command == "page") return cmd_page(args);
    if (args.command == "ask" || args.command == "accept" || args.command == "pay" || args.command == "complete")
        return cmd_sale(args, json);
    return fail("unknown command \"" + args.command + "\"");
}
