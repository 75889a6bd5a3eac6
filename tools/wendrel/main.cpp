// wendrel: the platform's wallet application. It keeps the wallets in the platform folder
// and answers the gallery's connect requests, in its window (no command) or by command.
#include <cstdio>
#include <string>
#include <vector>

#include "core/profile.h"
#include "tools/wendrel/cli.h"

namespace {

using Command = int (*)(const wendrel::Args&);

struct Entry {
    tools::CommandSpec table;
    Command run;
};

const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = {
        {{"create", "[--name NAME]", "A new wallet with a fresh 12-word mnemonic; prints its id.", {}, {"name"}, {}, 0, 0},
         wendrel::cmd_create},
        {{"restore", "--mnemonic \"WORDS\" [--name NAME]",
          "A wallet from an existing mnemonic; prints its id. A mnemonic that already is a\n"
          "wallet here is refused and nothing is written.",
          {}, {"mnemonic", "name"}, {"mnemonic"}, 0, 0},
         wendrel::cmd_restore},
        {{"list", "[--json]", "The wallets (* marks the active one).", {"json"}, {}, {}, 0, 0}, wendrel::cmd_list},
        {{"show", "[ID] [--json] [--reveal]",
          "Addresses, identity key and paymail of ID (default: the active wallet);\n"
          "--reveal adds the mnemonic.",
          {"json", "reveal"}, {}, {}, 0, 1},
         wendrel::cmd_show},
        {{"seal", "[ID] --password P", "Encrypts the wallet file at rest (default: the active wallet).", {},
          {"password"}, {"password"}, 0, 1},
         wendrel::cmd_seal},
        {{"unseal", "[ID] --password P", "Decrypts a sealed wallet file again.", {}, {"password"}, {"password"}, 0, 1},
         wendrel::cmd_unseal},
        {{"requests", "[--json]", "Connect requests from the gallery waiting for an answer.", {"json"}, {}, {}, 0, 0},
         wendrel::cmd_requests},
        {{"approve", "[--request ID] [--wallet ID]",
          "Approves a connect request (default: the oldest, with the active wallet).", {}, {"request", "wallet"}, {},
          0, 0},
         wendrel::cmd_approve},
        {{"deny", "[--request ID]", "Denies a connect request (default: the oldest).", {}, {"request"}, {}, 0, 0},
         wendrel::cmd_deny},
        {{"auto", "on|off", "Automatic approval of small payments.", {}, {}, {}, 1, 1}, wendrel::cmd_auto},
        {{"limit", "SATS", "The automatic approval limit in satoshis.", {}, {}, {}, 1, 1}, wendrel::cmd_limit},
        {{"balance", "[--wallet ID] [--json]", "The wallet's balance as the chain services see it.", {"json"},
          {"wallet"}, {}, 0, 0},
         wendrel::cmd_balance},
        {{"send", "--to ADDRESS --sats N [--wallet ID] [--json]",
          "A plain payment; prints \"success: \" and the txid.", {"json"}, {"to", "sats", "wallet"}, {"to", "sats"}, 0,
          0},
         wendrel::cmd_send},
        {{"paymail", "ALIAS [--wallet ID]",
          "Sets the wallet's paymail alias and claims it at the platform. An alias is\n"
          "letters, digits, \"_\", \"-\" and \".\" (stored in lower case); anything else is refused.",
          {}, {"wallet"}, {}, 1, 1},
         wendrel::cmd_paymail},
        {{"mint", "--image FILE --title T [--artist A] [--created DATE] [--note N] [--wallet ID] [--json]",
          "Inscribes an artwork (PNG, JPEG, GIF or WebP, at most 10 MiB) and its certificate\n"
          "to the wallet's ordinals address and posts their signed pair record.",
          {"json"}, {"image", "title", "artist", "created", "note", "wallet"}, {"image", "title"}, 0, 0},
         wendrel::cmd_mint},
    };
    return list;
}

tools::ProgramSpec program() {
    tools::ProgramSpec p;
    p.name = "wendrel";
    p.synopsis = "[COMMAND [options]]";
    p.notes =
        "With no command, wendrel opens the wallet window: the wallets, the selected one's\n"
        "receive address and balance, and the connect requests to approve or deny.\n"
        "Wallets live in the platform folder ($LOCALAPPDATA/Orvane, else $XDG_DATA_HOME/Orvane,\n"
        "else ~/.local/share/Orvane). The chain services come from the network profile\n"
        "(QUENVALE_PROFILE=/path/profile.json; main net when unset).\n";
    for (const auto& e : entries()) p.commands.push_back(e.table);
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    // No command opens the window; --automation (for tests) makes it print where its
    // buttons are.
    if (argc == 1) return wendrel::run_window(false);
    if (argc == 2 && std::string(argv[1]) == "--automation") return wendrel::run_window(true);
    wendrel::Args args;
    int exit_code = 0;
    if (!tools::start_command(program(), argc, argv, args, exit_code)) return exit_code;
    for (const auto& e : entries())
        if (e.table.name == args.command) return e.run(args);
    return wendrel::fail("unknown command \"" + args.command + "\"");
}
