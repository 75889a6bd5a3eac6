// wendrel: the platform's wallet application, as a command-line stand-in. It keeps the
// wallets in the platform folder and answers the gallery's connect requests.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "tools/wendrel/cli.h"

namespace {

const char* const USAGE =
    "usage: wendrel COMMAND [options]\n"
    "\n"
    "Wallets live in the platform folder ($LOCALAPPDATA/Orvane, else $XDG_DATA_HOME/Orvane,\n"
    "else ~/.local/share/Orvane).\n"
    "\n"
    "  create [--name NAME]                     new wallet with a fresh 12-word mnemonic; prints its id\n"
    "  restore --mnemonic \"WORDS\" [--name NAME] wallet from an existing mnemonic; prints its id\n"
    "  list [--json]                            the wallets (* marks the active one)\n"
    "  show [ID] [--json] [--reveal]            addresses, identity key and paymail; --reveal adds the mnemonic\n"
    "  seal ID --password P                     encrypt the wallet file at rest\n"
    "  unseal ID --password P                   decrypt it again\n"
    "  requests [--json]                        connect requests waiting for an answer\n"
    "  approve [--request ID] [--wallet ID]     approve a request (default: the oldest, the active wallet)\n"
    "  deny [--request ID]                      deny a request (default: the oldest)\n"
    "  auto on|off                              automatic approval of small payments\n"
    "  limit SATS                               the automatic approval limit in satoshis\n"
    "  balance [--wallet ID] [--json]           the wallet's balance as the chain services see it\n"
    "  send --to ADDRESS --sats N [--wallet ID] [--json]  a plain payment; prints \"success: \" + txid\n"
    "  paymail ALIAS [--wallet ID]              set the wallet's paymail alias and claim it at the platform\n"
    "  mint --image FILE --title T [--artist A] [--created DATE] [--note N] [--wallet ID] [--json]\n"
    "                                           inscribe an artwork and its certificate and post their signed pair\n"
    "\n"
    "The chain services come from the network profile (QUENVALE_PROFILE=/path/profile.json).\n";

const std::set<std::string> FLAGS = {"json", "reveal", "help"};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(USAGE, stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    wendrel::Args args;
    for (int i = 2; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("--", 0) == 0) {
            std::string key = word.substr(2);
            if (FLAGS.count(key)) {
                args.flags[key] = true;
            } else if (i + 1 < argc) {
                args.opts[key] = argv[++i];
            } else {
                return wendrel::fail("option --" + key + " needs a value");
            }
        } else {
            args.positional.push_back(word);
        }
    }
    if (args.has("help")) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (command == "create") return wendrel::cmd_create(args);
    if (command == "restore") return wendrel::cmd_restore(args);
    if (command == "list") return wendrel::cmd_list(args);
    if (command == "show") return wendrel::cmd_show(args);
    if (command == "seal") return wendrel::cmd_seal(args);
    if (command == "unseal") return wendrel::cmd_unseal(args);
    if (command == "requests") return wendrel::cmd_requests(args);
    if (command == "approve") return wendrel::cmd_approve(args);
    if (command == "deny") return wendrel::cmd_deny(args);
    if (command == "auto") return wendrel::cmd_auto(args);
    if (command == "limit") return wendrel::cmd_limit(args);
    if (command == "balance") return wendrel::cmd_balance(args);
    if (command == "send") return wendrel::cmd_send(args);
    if (command == "paymail") return wendrel::cmd_paymail(args);
    if (command == "mint") return wendrel::cmd_mint(args);
    return wendrel::fail("unknown command \"" + command + "\"; see wendrel --help");
}
