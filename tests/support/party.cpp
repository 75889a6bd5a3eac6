#include "tests/support/party.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "chain/posting.h"
#include "chain/tx.h"
#include "core/files.h"
#include "core/text.h"
#include "ledger/records.h"
#include "ledger/walls.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/state.h"
#include "wallet/registry.h"

namespace testing_support {

Party make_party(const TempPlatform& tp, const std::string& name) {
    Party p;
    p.folder = tp.root() + "/" + name;
    p.instance = p.folder + "/gallery";
    EXPECT_TRUE(core::make_dirs(p.folder));
    return p;
}

RunResult run_as(const TempPlatform& tp, const Party& p, const std::string& program,
                 const std::vector<std::string>& args) {
    ::setenv("LOCALAPPDATA", p.folder.c_str(), 1);
    RunResult r = run_program(program, args);
    ::setenv("LOCALAPPDATA", tp.root().c_str(), 1);
    return r;
}

core::Json cli_as(const TempPlatform& tp, const Party& p, std::vector<std::string> args, int expect_exit) {
    const std::string command = args.front();
    args.insert(args.begin(), {"--instance", p.instance});
    args.push_back("--json");
    RunResult r = run_as(tp, p, "quenvale-cli", args);
    EXPECT_EQ(r.exit_code, expect_exit) << command << ": " << r.out << r.err;
    return json_of(r.out);
}

bool open_wallet(const TempPlatform& tp, Devnet& dn, Party& p, const std::string& name, const std::string& alias,
                 int coins, std::int64_t sats) {
    RunResult created = run_as(tp, p, "wendrel", {"create", "--name", name});
    if (created.exit_code != 0) {
        ADD_FAILURE() << "wendrel create: " << created.err;
        return false;
    }
    p.wallet_id = core::trim(created.out.substr(0, created.out.find('\n')));
    p.shown = json_of(run_as(tp, p, "wendrel", {"show", "--json"}).out);
    if (!p.shown.contains("address")) {
        ADD_FAILURE() << "wendrel show: " << p.shown.dump();
        return false;
    }
    for (int i = 0; i < coins; ++i)
        if (dn.fund(p.shown["address"], sats, true).empty()) {
            ADD_FAILURE() << "devnet fund";
            return false;
        }
    RunResult claimed = run_as(tp, p, "wendrel", {"paymail", alias});
    if (claimed.exit_code != 0) {
        ADD_FAILURE() << "wendrel paymail: " << claimed.err;
        return false;
    }

    const std::string cli_path = bin_path("quenvale-cli");
    const std::string out = p.folder + "/connect.out";
    ::setenv("LOCALAPPDATA", p.folder.c_str(), 1);
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen((out + ".err").c_str(), "w", stderr);
        ::execl(cli_path.c_str(), cli_path.c_str(), "--instance", p.instance.c_str(), "connect", "--json",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setenv("LOCALAPPDATA", tp.root().c_str(), 1);
    // With one wallet in the folder the gallery binds to it at once; otherwise it waits
    // for the approve.
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 200 && done == 0; ++i) {
        done = ::waitpid(pid, &status, WNOHANG);
        if (done != 0) break;
        if (run_as(tp, p, "wendrel", {"approve", "--wallet", p.wallet_id}).exit_code != 0) ::usleep(100 * 1000);
    }
    if (done == 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "connect did not finish";
        return false;
    }
    std::string reply;
    core::read_file(out, reply);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "connect: " << reply;
        return false;
    }
    const core::Json connected = json_of(reply);
    EXPECT_EQ(connected.value("wallet_id", std::string()), p.wallet_id) << connected.dump();
    return connected.value("wallet_id", std::string()) == p.wallet_id;
}

std::string txid_in(const std::string& result) {
    if (result.rfind("success: ", 0) != 0 || result.size() < 9 + 64) return "";
    const std::string id = result.substr(9, 64);
    return id.find_first_not_of("0123456789abcdef") == std::string::npos ? id : "";
}

int connect_instance(const std::string& instance, const std::string& wallet_id, const std::string& dir) {
    const std::string cli = testing_support::bin_path("quenvale-cli");
    const std::string out = dir + "/connect.out";
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen((out + ".err").c_str(), "w", stderr);
        ::execl(cli.c_str(), cli.c_str(), "--instance", instance.c_str(), "connect", "--json",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool answered = false;
    for (int i = 0; i < 100 && !answered; ++i) {
        answered = run_program("wendrel", {"approve", "--wallet", wallet_id}).exit_code == 0;
        if (!answered) ::usleep(100 * 1000);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return answered && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string post_as(const std::string& instance, core::Json record, int frame, const std::string& fee_address,
                    std::int64_t fee) {
    wallet::init_app_binding("Quenvale", instance);
    if (!wallet::load_wallet()) return "error: the wallet of " + instance + " did not load";
    record["protocol"] = "OV-Art";
    record["location"] = "art";
    const std::string result = ledger::post_record(record, ledger::frame_row(frame).watch_address, fee_address, fee);
    wallet::forget_wallet();
    return result;
}

bool sign_as(const std::string& instance, core::Json& record) {
    wallet::init_app_binding("Quenvale", instance);
    bool ok = wallet::load_wallet();
    if (ok) {
        wallet::WalletLock lock(wallet::wallet_mutex());
        std::string pub, sig, error;
        ok = wallet::identity_sign(ledger::record_message(record), pub, sig, error);
        if (ok) {
            record["pubkey"] = pub;
            record["sig"] = sig;
        }
    }
    wallet::forget_wallet();
    return ok;
}

std::string post_raw_as(const std::string& instance, const std::string& payload,
                        const std::vector<std::pair<std::string, std::int64_t>>& pays) {
    wallet::init_app_binding("Quenvale", instance);
    if (!wallet::load_wallet()) return "error: the wallet of " + instance + " did not load";
    std::vector<chain::TxOutput> outputs;
    for (const auto& [address, sats] : pays) {
        core::Bytes hash;
        if (!wallet::hash160_from_address(address, hash)) return "error: not an address: " + address;
        outputs.push_back(chain::TxOutput{sats, wallet::p2pkh_script(hash)});
    }
    outputs.push_back(chain::TxOutput{0, chain::data_script(core::to_bytes(payload))});
    std::string result;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        result = chain::pay_outputs(std::move(outputs), {});
    }
    wallet::forget_wallet();
    return result;
}

}  // namespace testing_support
