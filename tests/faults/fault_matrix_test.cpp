// The fault matrix: every chain call of the gallery's operations, each answered badly in
// one way while the real operation runs in its own quenvale-cli process against the
// devnet. A cell is "ok" when the operation ends within its limit with a clear result
// (an "error: …" sentence without the bad reply in it, or the right answer), leaves no
// coin marked spent that the chain does not spend, keeps no offer lock or reserve entry
// it did not keep before, and the same operation succeeds again once the fault is gone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "chain/coin_state.h"
#include "chain/reservations.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/records.h"
#include "ledger/walls.h"
#include "tests/support/devnet.h"
#include "tests/support/party.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::connect_instance;
using testing_support::post_as;
using testing_support::run_program;

namespace {

// --- the faults --------------------------------------------------------------------

// Markers put in every bad reply; none may reach a result text.
const char* const HTML_MARK = "QVFAULT-HTML";
const char* const JSON_MARK = "QVFAULT-JSON";
const char* const FILLER = "Z9";

struct Column {
    const char* name;
    std::function<core::Json(const std::string& regex, long limit_s)> rule;
    bool slow = false;  // a time-out: only for calls whose limit is short
};

core::Json rule_base(const std::string& regex, int count) { return {{"pathRegex", regex}, {"count", count}}; }

std::vector<Column> columns() {
    return {
        {"429 burst",
         [](const std::string& re, long) {
             // Four answers: the first try and every retry of one call.
             core::Json r = rule_base(re, 4);
             r["status"] = 429;
             r["body"] = "slow down";
             return r;
         }},
        {"500",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 500;
             r["body"] = "internal error";
             return r;
         }},
        {"503 html",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 503;
             r["contentType"] = "text/html";
             r["body"] = std::string("<html><body><h1>503 Service Unavailable</h1><p>") + HTML_MARK +
                         "</p></body></html>";
             return r;
         }},
        {"time-out",
         [](const std::string& re, long limit_s) {
             core::Json r = rule_base(re, 1);
             r["delayMs"] = limit_s * 1000 + 1500;
             r["drop"] = true;
             return r;
         },
         true},
        {"bad JSON",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 200;
             r["contentType"] = "application/json";
             r["body"] = std::string("{\"") + JSON_MARK + "\": [1, 2,";
             return r;
         }},
        {"empty",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 200;
             r["contentType"] = "application/json";
             return r;
         }},
        {"truncated",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 200;
             r["contentType"] = "application/json";
             r["body"] = std::string("{\"txids\":[],\"result\":[],\"error\":\"\",\"mark\":\"") + JSON_MARK + "\"}";
             r["truncate"] = true;
             return r;
         }},
        {"20 MB",
         [](const std::string& re, long) {
             core::Json r = rule_base(re, 1);
             r["status"] = 200;
             r["contentType"] = "application/json";
             r["body"] = FILLER;
             r["bodyBytes"] = 20 * 1024 * 1024;
             return r;
         }},
    };
}

// Time-outs are run only for calls this quick, unless QUENVALE_FAULT_ALL_TIMEOUTS=1: the
// longer limits would add some ten minutes of waiting to every run of the matrix.
constexpr long SLOW_CELL_LIMIT_S = 6;

// --- running an operation ----------------------------------------------------------

struct CliRun {
    int exit_code = -1;
    int signal = 0;
    bool killed = false;
    double seconds = 0;
    std::string out, err;
};

// quenvale-cli in a child process, killed when it runs past limit_s.
CliRun run_cli(const std::string& dir, const std::vector<std::string>& args, double limit_s) {
    const std::string cli = testing_support::bin_path("quenvale-cli");
    const std::string out = dir + "/cell.out", err = dir + "/cell.err";
    std::vector<std::string> all = {cli};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    // A child must not write out what the parent still holds in its buffers.
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen(err.c_str(), "w", stderr);
        ::execv(cli.c_str(), argv.data());
        ::_exit(127);
    }
    CliRun r;
    int status = 0;
    for (;;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) break;
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r.seconds > limit_s) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.killed = true;
            break;
        }
        ::usleep(20 * 1000);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status) && !r.killed) r.signal = WTERMSIG(status);
    core::read_file(out, r.out);
    core::read_file(err, r.err);
    return r;
}

std::string first_line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }


// --- the rows ------------------------------------------------------------------------

enum class Op { walls, place, pay, complete, admission, ordinals_list, connect_status };

const char* op_name(Op op) {
    switch (op) {
        case Op::walls: return "walls";
        case Op::place: return "place";
        case Op::pay: return "pay";
        case Op::complete: return "complete";
        case Op::admission: return "admission";
        case Op::ordinals_list: return "ordinals list";
        case Op::connect_status: return "connect status";
    }
    return "";
}

const std::string WOC = "^/woc/v1/bsv/main";
const std::string TXID = "[0-9a-f]{64}";
const std::string ADDR = "[1-9A-HJ-NP-Za-km-z]{26,35}";
const std::string OUTPOINT = TXID + "_[0-9]+";
const std::string QUERY = "(\\?.*)?$";

// Every service path of chain/endpoints.h as the devnet sees it (one family a builder,
// the paging variants of a builder together). The names are what the table shows.
struct Family {
    const char* name;
    const char* method;
    std::string regex;
};

std::vector<Family> families() {
    const std::string tx = WOC + "/tx/" + TXID, address = WOC + "/address/" + ADDR;
    return {
        {"GET woc tx", "GET", tx + QUERY},
        {"GET woc tx hex", "GET", tx + "/hex" + QUERY},
        {"GET woc tx spent", "GET", tx + "/[0-9]+/spent" + QUERY},
        {"GET woc address unconfirmed unspent", "GET", address + "/unconfirmed/unspent" + QUERY},
        {"GET woc address unspent/all", "GET", address + "/unspent/all" + QUERY},
        {"GET woc address confirmed balance", "GET", address + "/confirmed/balance" + QUERY},
        {"GET woc address unconfirmed balance", "GET", address + "/unconfirmed/balance" + QUERY},
        {"POST woc addresses confirmed history", "POST", WOC + "/addresses/confirmed/history" + QUERY},
        {"POST woc addresses unconfirmed history", "POST", WOC + "/addresses/unconfirmed/history" + QUERY},
        {"GET woc address unconfirmed history", "GET", address + "/unconfirmed/history" + QUERY},
        {"GET woc address confirmed history", "GET", address + "/confirmed/history" + QUERY},
        {"POST woc txs", "POST", WOC + "/txs" + QUERY},
        {"POST woc txs hex", "POST", WOC + "/txs/hex" + QUERY},
        {"POST woc utxos spent", "POST", WOC + "/utxos/spent" + QUERY},
        {"POST woc tx raw", "POST", WOC + "/tx/raw" + QUERY},
        {"GET ord address unspent", "GET", "^/ord/api/txos/address/" + ADDR + "/unspent" + QUERY},
        {"GET ord bsv20 unspent", "GET", "^/ord/api/bsv20/" + ADDR + "/unspent" + QUERY},
        {"GET ord bsv20 id", "GET", "^/ord/api/bsv20/id/" + OUTPOINT + QUERY},
        {"GET ord txo", "GET", "^/ord/api/txos/" + OUTPOINT + QUERY},
        {"GET ord content", "GET", "^/ord/content/" + OUTPOINT + QUERY},
        {"POST arc tx", "POST", "^/arc/v1/tx" + QUERY},
        {"GET arc tx status", "GET", "^/arc/v1/tx/" + TXID + QUERY},
        {"POST svc submit", "POST", "^/svc/oi/submit" + QUERY},
        {"GET svc oracle ident txids", "GET", "^/svc/oi/oracle/ident/txids" + QUERY},
        {"GET svc oracle txids", "GET", "^/svc/oi/oracle/[a-z0-9]{2,5}/txids" + QUERY},
        {"GET svc tx", "GET", "^/svc/oi/tx/" + TXID + QUERY},
        {"GET svc paymail quota", "GET", "^/svc/api/paymail/quota/[0-9a-f]+" + QUERY},
        {"GET svc paymail identity", "GET", "^/svc/api/paymail/identity/[0-9a-f]+" + QUERY},
        {"GET svc paymail labels", "GET", "^/svc/api/paymail/labels/[0-9a-f]+" + QUERY},
        {"GET svc bsvalias id", "GET", "^/svc/api/bsvalias/id/[^/?]+" + QUERY},
        {"POST svc paymail claim", "POST", "^/svc/api/paymail/claim" + QUERY},
    };
}

const Family& family(const std::string& name) {
    static const std::vector<Family> all = families();
    for (const Family& f : all)
        if (name == f.name) return f;
    static const Family none{"", "GET", "^$"};
    ADD_FAILURE() << "no path family " << name;
    return none;
}

struct Row {
    Op op;
    const char* call;                   // what the call is, as the table names it
    std::vector<std::string> faulted;   // the path families the fault answers
    long limit_s;                       // the call's own time limit
    // The fault answers every such call of the run, not just the first: for the sale
    // steps, which would otherwise route around it and need a new sale for every cell.
    bool every_call = false;
    // Families answered with a 500 throughout the cell, so that the operation reaches
    // the faulted call at all (the later steps of the broadcast ladder).
    std::vector<std::string> down = {};

    std::string method() const { return family(faulted.front()).method; }
    std::string regex() const {
        std::string re;
        for (const std::string& f : faulted) re += (re.empty() ? "(" : "|(") + family(f).regex + ")";
        return re;
    }
};

std::vector<Row> rows() {
    const std::vector<std::string> submit_down = {"POST svc submit"};
    const std::vector<std::string> host_down = {"GET ord content"};
    return {
        {Op::walls, "GET svc oracle as{n} txids", {"GET svc oracle txids"}, 8},
        {Op::walls, "GET woc address (unconfirmed) history",
         {"GET woc address confirmed history", "GET woc address unconfirmed history"}, 8},
        {Op::walls, "POST woc txs hex", {"POST woc txs hex"}, 12},
        {Op::walls, "GET svc tx (WhatsOnChain down)", {"GET svc tx"}, 6, false, {"POST woc txs hex"}},
        {Op::walls, "GET svc bsvalias id", {"GET svc bsvalias id"}, 15},
        {Op::walls, "GET woc tx spent", {"GET woc tx spent"}, 8},
        {Op::walls, "POST woc addresses (unconfirmed) history (bulk first pages)",
         {"POST woc addresses confirmed history", "POST woc addresses unconfirmed history"}, 8},
        {Op::walls, "POST woc utxos spent", {"POST woc utxos spent"}, 8},

        {Op::place, "GET svc paymail identity", {"GET svc paymail identity"}, 6},
        {Op::place, "GET woc address confirmed history", {"GET woc address confirmed history"}, 15},
        {Op::place, "GET woc address unspent/all", {"GET woc address unspent/all"}, 20},
        {Op::place, "GET woc address unconfirmed unspent", {"GET woc address unconfirmed unspent"}, 10},
        {Op::place, "GET ord content", {"GET ord content"}, 45},
        {Op::place, "POST woc txs hex (host down)", {"POST woc txs hex"}, 25, false, host_down},
        {Op::place, "POST svc submit", {"POST svc submit"}, 2},
        {Op::place, "POST woc tx raw (submit down)", {"POST woc tx raw"}, 60, false, submit_down},
        {Op::place, "GET woc tx hex (confirming; submit down)", {"GET woc tx hex"}, 12, false, submit_down},
        {Op::place, "POST arc tx (submit, woc down)", {"POST arc tx"}, 60, false,
         {"POST svc submit", "POST woc tx raw"}},

        {Op::pay, "POST woc txs hex", {"POST woc txs hex"}, 12, true},
        {Op::pay, "GET woc tx spent", {"GET woc tx spent"}, 8, true},
        {Op::pay, "GET ord txo", {"GET ord txo"}, 15, true},
        {Op::pay, "POST svc submit", {"POST svc submit"}, 2, true},

        {Op::complete, "POST woc txs hex", {"POST woc txs hex"}, 12, true},
        {Op::complete, "GET svc tx (WhatsOnChain down)", {"GET svc tx"}, 6, true, {"POST woc txs hex"}},
        {Op::complete, "POST woc txs", {"POST woc txs"}, 25, true},
        {Op::complete, "POST svc submit", {"POST svc submit"}, 2, true},

        {Op::admission, "GET svc paymail identity", {"GET svc paymail identity"}, 6},
        {Op::admission, "GET svc bsvalias id", {"GET svc bsvalias id"}, 15},
        {Op::admission, "GET woc address confirmed / unconfirmed balance",
         {"GET woc address confirmed balance", "GET woc address unconfirmed balance"}, 8},
        {Op::admission, "POST svc submit", {"POST svc submit"}, 2},

        {Op::ordinals_list, "GET ord address unspent", {"GET ord address unspent"}, 8},
        {Op::ordinals_list, "GET ord bsv20 unspent", {"GET ord bsv20 unspent"}, 8},
        {Op::ordinals_list, "GET svc oracle ident txids", {"GET svc oracle ident txids"}, 12},

        {Op::connect_status, "POST woc addresses (unconfirmed) history",
         {"POST woc addresses confirmed history", "POST woc addresses unconfirmed history"}, 20},
        {Op::connect_status, "GET woc address unspent/all", {"GET woc address unspent/all"}, 20},
        {Op::connect_status, "GET svc paymail quota", {"GET svc paymail quota"}, 8},
        {Op::connect_status, "POST svc paymail claim", {"POST svc paymail claim"}, 25},
    };
}

// --- the world the operations run in -------------------------------------------------

constexpr int PLACE_FRAME = 2;
constexpr int SALE_FRAME = 4;
constexpr double OP_LIMIT_S = 40;  // an operation answered at once at every call

struct Outcome {
    bool ok = false;          // the operation said it succeeded
    std::string result;       // its result text
    std::string problem;      // why the run does not count as a clear end
    std::string txid;         // of a success that sent a transaction
};

class FaultMatrix : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    std::string alice, bob;  // wallet ids
    core::Json a, b;         // wendrel show
    std::string seller, buyer;
    std::string place_pic, sale_pic, sale_cert, sale_sha;
    core::Json baseline_walls, baseline_arts;
    std::string baseline_balance;
    int minted = 0;
    std::int64_t last_step_s = 0;  // when the last set-up step had posted its records

    std::string wallet(const std::string& name, const std::string& alias, int coins, std::int64_t sats, core::Json& shown) {
        const std::string id = first_line(run_program("wendrel", {"create", "--name", name}).out);
        shown = json_of(run_program("wendrel", {"show", id, "--json"}).out);
        for (int i = 0; i < coins; ++i) EXPECT_FALSE(dn.fund(shown["address"], sats, true).empty());
        EXPECT_EQ(run_program("wendrel", {"paymail", alias, "--wallet", id}).exit_code, 0);
        return id;
    }

    core::Json mint(const std::string& title) {
        const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200 + ++minted, 'q');
        const std::string path = tp.root() + "/pic" + std::to_string(minted) + ".png";
        core::write_file(path, png);
        auto r = run_program("wendrel", {"mint", "--image", path, "--title", title, "--artist", "Ada", "--wallet",
                                          alice, "--json"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        dn.mine();
        return json_of(r.out);
    }

    std::vector<std::string> cli_args(const std::string& instance, std::vector<std::string> args, bool json = true) {
        args.insert(args.begin(), {"--instance", instance});
        if (json) args.push_back("--json");
        return args;
    }

    // A step of the set-up that must succeed.
    void step(const std::string& instance, const std::vector<std::string>& args) {
        CliRun r = run_cli(tp.root(), cli_args(instance, args), 120);
        last_step_s = core::now_seconds();
        ASSERT_EQ(r.exit_code, 0) << args[0] << ": " << r.out << r.err;
        dn.mine();
    }

    // The sale piece on SALE_FRAME, asked for by the buyer and accepted by the seller.
    void show_sale_piece() {
        // Records are ordered by their second: the display, dated a second back so that the
        // ask after it is later, must still be later than the last step on the frame (the
        // complete that cleared it). On a quick machine the mint between them may take
        // less than that.
        while (core::now_seconds() < last_step_s + 2) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::int64_t now = core::now_seconds();
        const std::string shown =
            post_as(seller,
                    {{"type", "art_show"}, {"spot", ledger::frame_row(SALE_FRAME).spot}, {"pic", sale_pic},
                     {"cert", sale_cert}, {"sha256", sale_sha}, {"price", "1000"}, {"pic_utxo", sale_pic},
                     // Older than the ask that follows, which must come after the display.
                     {"cert_utxo", sale_cert}, {"pay_addr", a["address"]}, {"ts", now - 1},
                     {"exp", now - 1 + 604800}},
                    SALE_FRAME, core::profile().placement_fee_address, 10000);
        ASSERT_EQ(shown.rfind("success: ", 0), 0u) << shown;
        dn.mine();
        // The buyer's walls read lets go of the offer of an earlier display.
        step(buyer, {"walls"});
        step(buyer, {"ask", "--frame", std::to_string(SALE_FRAME)});
        step(seller, {"accept", "--frame", std::to_string(SALE_FRAME)});
    }


    void new_sale_piece() {
        core::Json m = mint("Sale " + std::to_string(minted));
        sale_pic = m["pic"];
        sale_cert = m["cert"];
        sale_sha = m["sha256"];
    }

    // Brings the world to where op can run; again after a run that changed it.
    void ready(Op op) {
        if (op == Op::pay) {
            // A paid offer stays until the owner completes it, and the buyer may not pay
            // twice: the sale is finished and a new piece goes up for the next payment.
            step(seller, {"complete", "--frame", std::to_string(SALE_FRAME)});
            new_sale_piece();
            show_sale_piece();
        }
        if (op == Op::complete) {
            new_sale_piece();
            show_sale_piece();
            step(buyer, {"pay", "--frame", std::to_string(SALE_FRAME)});
        }
        if (op == Op::place) {
            // Taken down again after a placement went through.
            CliRun r = run_cli(tp.root(), cli_args(seller, {"remove", "--frame", std::to_string(PLACE_FRAME)}), 120);
            dn.mine();
            (void)r;
        }
    }

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ledger::reset_wall_caches();
        // Every placement and display costs the seller a fee: enough for all the place rows.
        alice = wallet("Alice", "alice", 12, 300000, a);
        bob = wallet("Bob", "bob", 4, 300000, b);
        dn.mine();
        seller = tp.root() + "/gallery-alice";
        buyer = tp.root() + "/gallery-bob";
        ASSERT_EQ(connect_instance(seller, alice, tp.root()), 0);
        ASSERT_EQ(connect_instance(buyer, bob, tp.root()), 0);
        place_pic = mint("Place")["pic"];
        new_sale_piece();
        ASSERT_NO_FATAL_FAILURE(show_sale_piece());
    }

    std::vector<std::string> op_args(Op op) {
        const std::string sale = std::to_string(SALE_FRAME);
        switch (op) {
            case Op::walls: return cli_args(buyer, {"walls"});
            case Op::place:
                return cli_args(seller, {"place", "--frame", std::to_string(PLACE_FRAME), "--origin", place_pic,
                                         "--weeks", "1"});
            case Op::pay: return cli_args(buyer, {"pay", "--frame", sale});
            case Op::complete: return cli_args(seller, {"complete", "--frame", sale});
            case Op::admission: return cli_args(buyer, {"enter"});
            case Op::ordinals_list: return cli_args(seller, {"arts"});
            case Op::connect_status: return cli_args(buyer, {"status"}, false);
        }
        return {};
    }

    // Operations that cannot run twice in a row: the world must be made ready again.
    static bool one_shot(Op op) { return op == Op::place || op == Op::pay || op == Op::complete; }

    static bool changes_chain(Op op) {
        return op == Op::place || op == Op::pay || op == Op::complete || op == Op::admission;
    }

    // What the run ended with, and whether that is a clear end.
    Outcome judge(Op op, const CliRun& r, double limit_s) {
        Outcome o;
        if (r.signal != 0) {
            o.problem = "crash (signal " + std::to_string(r.signal) + ")";
            return o;
        }
        if (r.killed || r.seconds > limit_s) {
            o.problem = "hang (" + std::to_string(static_cast<int>(r.seconds)) + " s)";
            return o;
        }
        if (op == Op::connect_status) {
            const auto at = r.out.find("balance: ");
            o.result = at == std::string::npos ? r.out : first_line(r.out.substr(at));
            o.ok = r.exit_code == 0 && at != std::string::npos;
        } else if (op == Op::ordinals_list) {
            o.ok = r.exit_code == 0;
            o.result = o.ok ? r.out : first_line(r.err);
            if (!o.ok && o.result.rfind("quenvale-cli: error: ", 0) != 0) o.problem = "no result text: " + o.result;
            if (!o.ok && o.result.rfind("quenvale-cli: ", 0) == 0) o.result = o.result.substr(14);
        } else {
            const core::Json j = json_of(r.out);
            if (!j.is_object() || !j.contains("result")) {
                o.problem = "no result (exit " + std::to_string(r.exit_code) + ")";
                return o;
            }
            o.result = j.value("result", std::string());
            o.ok = j.value("ok", false) && r.exit_code == 0;
        }
        if (!o.problem.empty()) return o;
        if (!o.ok && o.result.rfind("error: ", 0) != 0) o.problem = "unclear result: " + o.result.substr(0, 60);
        const std::string text = o.ok && op != Op::connect_status ? "" : o.result;
        for (const char* mark : {HTML_MARK, JSON_MARK, "Z9Z9", "<html", "{\""})
            if (text.find(mark) != std::string::npos) o.problem = "raw body shown";
        if (text.size() > 300) o.problem = "raw body shown (" + std::to_string(text.size()) + " bytes)";
        if (o.ok && changes_chain(op)) o.txid = o.result.size() >= 73 ? o.result.substr(9, 64) : "";
        return o;
    }

    // Whether a success is true: a sent transaction is on the devnet; a read shows what
    // the reads without faults show.
    std::string check_success(Op op, const Outcome& o, const CliRun& r) {
        if (changes_chain(op)) {
            if (o.txid.empty() || dn.get("/woc/v1/bsv/main/tx/" + o.txid).is_null())
                return "success reported, nothing sent";
            return "";
        }
        if (op == Op::walls && json_of(r.out)["frames"] != baseline_walls) return "success with wrong frames";
        if (op == Op::ordinals_list && json_of(r.out) != baseline_arts) return "success with wrong list";
        if (op == Op::connect_status && o.result != baseline_balance &&
            o.result.find("unknown") == std::string::npos)
            return "wrong balance shown: " + o.result;
        return "";
    }

    // The outpoints the instance's spent journal marks.
    std::set<std::string> spent_marks(const std::string& instance) {
        std::set<std::string> keys;
        wallet::init_app_binding("Quenvale", instance);
        if (!wallet::load_wallet()) return keys;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            chain::sync_coin_state();
            chain::load_journals();
            for (const auto& [key, at] : chain::coin_state().spent) keys.insert(key);
        }
        wallet::forget_wallet();
        return keys;
    }

    // A mark the run added for a coin the devnet does not spend.
    std::string wrongly_spent(const std::set<std::string>& before, const std::set<std::string>& after) {
        for (const std::string& key : after) {
            if (before.count(key)) continue;
            const auto colon = key.find(':');
            if (colon == std::string::npos) continue;
            // The journal keeps each mark under the txid in both byte orders.
            const std::string txid = key.substr(0, colon), vout = key.substr(colon + 1);
            const auto spent_on_chain = [&](const std::string& id) {
                return dn.get("/woc/v1/bsv/main/tx/" + id + "/" + vout + "/spent").is_object();
            };
            if (!spent_on_chain(txid) && !spent_on_chain(chain::reversed_txid(txid)))
                return "coin marked spent, unspent on chain";
        }
        return "";
    }

    // Offer locks and reserve entries of both instances.
    std::string holds() {
        std::string all;
        for (const std::string& instance : {seller, buyer}) {
            wallet::init_app_binding("Quenvale", instance);
            if (!wallet::load_wallet()) return "wallet did not load";
            std::vector<std::string> locks;
            std::vector<chain::ReserveEntry> reserve;
            std::string error;
            chain::read_offer_locks(locks, error);
            chain::read_reserve_entries(reserve, error);
            wallet::forget_wallet();
            std::set<std::string> sorted(locks.begin(), locks.end());
            for (const auto& l : sorted) all += "lock " + l + "\n";
            std::set<std::string> entries;
            for (const auto& e : reserve) entries.insert(e.pic_utxo + "/" + e.cert_utxo);
            for (const auto& e : entries) all += "reserve " + e + "\n";
            all += error;
        }
        return all;
    }

    // A hold the failed run added ("" when none): a line of `after` that `before` lacks.
    static std::string left_behind(const std::string& before, const std::string& after) {
        std::set<std::string> had;
        std::istringstream b(before), a(after);
        for (std::string line; std::getline(b, line);) had.insert(line);
        for (std::string line; std::getline(a, line);)
            if (!had.count(line)) return "left behind: " + line;
        return "";
    }

    // "not called" when the fault on `regex` is still there unfired.
    std::string faults_fired(const std::string& regex) {
        const core::Json left = dn.get("/devnet/faults");
        if (!left.contains("faults")) return "";
        for (const auto& f : left["faults"])
            if (f.value("pathRegex", std::string()) == regex && f.value("fired", 0) == 0) return "not called";
        return "";
    }

    // Which path families op calls when nothing goes wrong: every family gets a rule that
    // only counts (a 1 ms delay), the operation runs, and the counts are read back.
    std::set<std::string> calls_of(Op op) {
        dn.clear_faults();
        std::map<std::string, std::string> name_of_regex;
        for (const Family& f : families()) {
            dn.fault({{"pathRegex", f.regex}, {"method", f.method}, {"delayMs", 1}, {"count", 1000000}});
            name_of_regex[f.regex] = f.name;
        }
        // Anything else under the services: a path no family knows.
        dn.fault({{"pathRegex", "^/(woc|ord|arc|svc)/"}, {"delayMs", 1}, {"count", 1000000}});
        CliRun r = run_cli(tp.root(), op_args(op), OP_LIMIT_S + 20);
        EXPECT_EQ(judge(op, r, OP_LIMIT_S).ok, true) << op_name(op) << ": " << r.out << r.err;
        std::set<std::string> called;
        const core::Json left = dn.get("/devnet/faults");
        dn.clear_faults();
        dn.mine();
        if (!left.contains("faults")) return called;
        for (const auto& f : left["faults"]) {
            if (f.value("fired", 0) == 0) continue;
            const auto it = name_of_regex.find(f.value("pathRegex", std::string()));
            called.insert(it == name_of_regex.end() ? "unknown path" : it->second);
        }
        return called;
    }

    // One cell: the fault, the operation, the checks, and the run without the fault.
    std::string cell(const Row& row, const Column& col, bool& state_used) {
        const char* all_slow = std::getenv("QUENVALE_FAULT_ALL_TIMEOUTS");
        if (col.slow && row.limit_s > SLOW_CELL_LIMIT_S && !(all_slow && std::string(all_slow) == "1"))
            return "- (limit " + std::to_string(row.limit_s) + " s)";
        const std::string before = holds();
        const std::string payer = row.op == Op::place || row.op == Op::complete || row.op == Op::ordinals_list
                                      ? seller
                                      : buyer;
        const std::set<std::string> marks_before = spent_marks(payer);
        // A placement reads the artwork's content, which a run before may have cached.
        if (row.op == Op::place) std::filesystem::remove_all(tp.path("ord_cache"));
        // Every run reads transactions as a new machine does, not from the disk cache.
        std::filesystem::remove_all(tp.path("quenvale/tx_cache"));
        dn.clear_faults();
        for (const std::string& name : row.down) {
            const Family& f = family(name);
            dn.fault({{"pathRegex", f.regex}, {"method", f.method}, {"status", 500}, {"body", "down"},
                      {"count", 1000}});
        }
        core::Json rule = col.rule(row.regex(), row.limit_s);
        rule["method"] = row.method();
        // A time-out hits the first call only here too: with every call held past its limit
        // one after another, the step's own bound is the sum of theirs.
        if (row.every_call && !col.slow) rule["count"] = 1000;
        dn.fault(rule);
        const double limit = col.slow ? OP_LIMIT_S + static_cast<double>(row.limit_s) + 2 : OP_LIMIT_S;
        CliRun r = run_cli(tp.root(), op_args(row.op), limit + 20);
        const std::string unfired = faults_fired(row.regex());
        dn.clear_faults();
        Outcome o = judge(row.op, r, limit);
        std::string problem = o.problem;
        if (problem.empty() && o.ok) problem = check_success(row.op, o, r);
        if (problem.empty() && !unfired.empty() && !o.ok) problem = "failed, fault not called";
        if (problem.empty()) problem = wrongly_spent(marks_before, spent_marks(payer));
        if (problem.empty() && !o.ok) problem = left_behind(before, holds());
        dn.mine();
        if (o.ok && one_shot(row.op)) state_used = true;
        // Operations that need a whole sale behind them are run again at the end of the row.
        // A run that went well despite the fault was checked above; one that failed is
        // followed by a run without it.
        const bool rerun_now = !o.ok && !(row.op == Op::pay || row.op == Op::complete);
        if (rerun_now && !state_used) {
            CliRun again = run_cli(tp.root(), op_args(row.op), OP_LIMIT_S + 20);
            Outcome o2 = judge(row.op, again, OP_LIMIT_S);
            if (problem.empty() && (!o2.problem.empty() || !o2.ok))
                problem = "next run failed: " + (o2.problem.empty() ? o2.result : o2.problem);
            if (problem.empty()) problem = check_success(row.op, o2, again);
            if (o2.ok && one_shot(row.op)) state_used = true;
            dn.mine();
        }
        if (!unfired.empty() && problem.empty()) return "ok (not called)";
        return problem.empty() ? "ok" : core::cut_utf8(problem, 70);
    }
};

std::string table(const std::vector<Row>& rs, const std::vector<Column>& cs,
                  const std::vector<std::vector<std::string>>& cells) {
    std::ostringstream t;
    t << "| operation | call |";
    for (const auto& c : cs) t << " " << c.name << " |";
    t << "\n|---|---|";
    for (std::size_t i = 0; i < cs.size(); ++i) t << "---|";
    t << "\n";
    for (std::size_t i = 0; i < rs.size(); ++i) {
        t << "| " << op_name(rs[i].op) << " | " << rs[i].call << " (" << rs[i].limit_s << " s) |";
        for (const auto& c : cells[i]) t << " " << c << " |";
        t << "\n";
    }
    return t.str();
}

}  // namespace

TEST_F(FaultMatrix, EveryChainCallOfEveryOperationEndsClearlyUnderEveryFault) {
    const std::vector<Row> rs = rows();
    const std::vector<Column> cs = columns();
    std::vector<std::vector<std::string>> cells(rs.size());

    // Which calls each operation makes when nothing goes wrong; each must have a row.
    std::map<std::string, std::set<std::string>> census;  // family -> operations
    // A part of the table, by operation names ("census" alone runs none of its rows).
    const char* only = std::getenv("QUENVALE_FAULT_ROWS");
    {
        const auto take = [&](Op op) {
            for (const std::string& f : calls_of(op)) census[f].insert(op_name(op));
        };
        for (Op op : {Op::walls, Op::ordinals_list, Op::connect_status, Op::admission, Op::place}) take(op);
        ready(Op::place);
        take(Op::pay);
        take(Op::complete);
        // The pay rows start from an accepted ask again.
        new_sale_piece();
        ASSERT_NO_FATAL_FAILURE(show_sale_piece());
        for (const auto& [name, ops] : census) {
            bool has_row = false;
            for (const Row& row : rs)
                for (const std::string& f : row.faulted) has_row = has_row || f == name;
            EXPECT_TRUE(has_row) << name << " (called by " << *ops.begin() << ") has no row";
        }
    }

    // What the reads show without faults.
    CliRun w = run_cli(tp.root(), op_args(Op::walls), OP_LIMIT_S);
    ASSERT_EQ(w.exit_code, 0) << w.out << w.err;
    baseline_walls = json_of(w.out)["frames"];
    CliRun l = run_cli(tp.root(), op_args(Op::ordinals_list), OP_LIMIT_S);
    ASSERT_EQ(l.exit_code, 0) << l.out << l.err;
    baseline_arts = json_of(l.out);
    ASSERT_FALSE(baseline_arts.empty());

    for (std::size_t i = 0; i < rs.size(); ++i) {
        const Row& row = rs[i];
        if (only && std::string(only).find(op_name(row.op)) == std::string::npos) {
            cells[i].assign(cs.size(), "skipped");
            continue;
        }
        if (i == 0 || rs[i - 1].op != row.op) {
            if (row.op == Op::complete) {
                // pay rows end with their last run: the offer is paid already.
            } else if (row.op != Op::pay && changes_chain(row.op)) {
                ready(row.op);
            }
        }
        if (row.op == Op::ordinals_list && rs[i - 1].op != row.op) {
            CliRun s = run_cli(tp.root(), op_args(Op::ordinals_list), OP_LIMIT_S);
            baseline_arts = json_of(s.out);
        }
        if (row.op == Op::connect_status) {
            CliRun s = run_cli(tp.root(), op_args(Op::connect_status), OP_LIMIT_S);
            baseline_balance = judge(Op::connect_status, s, OP_LIMIT_S).result;
        }
        bool state_used = false;
        for (const Column& col : cs) {
            if (state_used) {
                ready(row.op);
                state_used = false;
            }
            cells[i].push_back(cell(row, col, state_used));
        }
        // The sale steps run once more without a fault, now that the row is through.
        if ((row.op == Op::pay || row.op == Op::complete) && !state_used) {
            CliRun again = run_cli(tp.root(), op_args(row.op), OP_LIMIT_S + 20);
            Outcome o = judge(row.op, again, OP_LIMIT_S);
            std::string problem = o.problem.empty() && !o.ok ? "next run failed: " + o.result : o.problem;
            if (problem.empty()) problem = check_success(row.op, o, again);
            dn.mine();
            if (!problem.empty())
                for (auto& c : cells[i])
                    if (c == "ok") c = core::cut_utf8(problem, 70);
        }
        // The next row starts from a state its operation can run in.
        const bool last_of_op = i + 1 == rs.size() || rs[i + 1].op != row.op;
        if (row.op == Op::pay && !last_of_op) ready(Op::pay);
        if (row.op == Op::complete && !last_of_op) ready(Op::complete);
        if (row.op == Op::place) ready(Op::place);
        for (std::size_t c = 0; c < cs.size(); ++c)
            EXPECT_EQ(cells[i][c].rfind("ok", 0) == 0 || cells[i][c].rfind("-", 0) == 0 || cells[i][c] == "skipped",
                      true)
                << op_name(row.op) << " / " << row.call << " / " << cs[c].name << ": " << cells[i][c];
    }

    std::string t = table(rs, cs, cells);
    std::string calls = "| call | made by |\n|---|---|\n";
    for (const auto& [name, ops] : census) {
        std::string by;
        for (const std::string& o : ops) by += (by.empty() ? "" : ", ") + o;
        calls += "| " + name + " | " + by + " |\n";
    }
    std::printf("%s\n%s", t.c_str(), calls.c_str());
    const char* update = std::getenv("QUENVALE_UPDATE_FAULT_MATRIX");
    if (update && std::string(update) == "1" && !only) {
        const std::string doc =
            "# Fault matrix\n\n"
            "Written by `fault_tests` (tests/faults) with `QUENVALE_UPDATE_FAULT_MATRIX=1`. Each row is a chain\n"
            "call of a gallery operation (with the call's own time limit), each column a bad answer the devnet\n"
            "gives that call while the operation runs in its own `quenvale-cli` process. A cell is `ok` when the\n"
            "operation ended within its limit with a clear result (an `error: ...` sentence without the bad reply\n"
            "in it, or the right answer), no coin is marked spent that the chain does not spend, no offer lock or\n"
            "reserve entry is left by a failed run, and the operation succeeds again without the fault.\n\n"
            "- The fault answers the first matching call of the run (the 429 burst: four answers, one call and\n"
            "  its three retries); for pay and complete it answers every matching call (a time-out only the\n"
            "  first), so the step fails and the sale can be tried again in the next cell.\n"
            "- `ok (not called)`: the operation did not make that call in this state and still ended well.\n"
            "- `- (limit N s)`: time-outs are run only for calls whose limit is at most " +
            std::to_string(SLOW_CELL_LIMIT_S) + " s, unless `QUENVALE_FAULT_ALL_TIMEOUTS=1` is set\n"
            "  (then every time-out cell runs; a table written so has no `-` cells).\n- `(… down)`: those calls answer 500 throughout the cell, so that the operation\n"
            "  gets to the faulted call (the later steps of the broadcast ladder).\n\n" + t +
            "\n## The calls each operation makes\n\nCounted by the test before the matrix (the devnet counts every request of an\n"
            "operation run without faults, by path family); each call listed has a row above.\n\n" + calls;
        EXPECT_TRUE(core::write_file(testing_support::source_path("docs/fault-matrix.md"), doc));
    }
}
