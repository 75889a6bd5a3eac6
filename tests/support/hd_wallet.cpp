#include "tests/support/hd_wallet.h"

#include "wallet/document.h"
#include "wallet/registry.h"

namespace testing_support {

core::Json hd_wallet_document(const HdWalletOptions& options) {
    core::Json recv = core::Json::array();
    for (auto v : options.recv) recv.push_back(v);
    core::Json doc = {{"version", 2}, {"mnemonic", ABANDON}, {"recv", recv}, {"show", 0}};
    if (!options.paymail.empty()) doc["paymail"] = options.paymail;
    if (!options.extra.is_null()) doc.update(options.extra);  // throws for anything but an object
    return doc;
}

void write_hd_wallet(const TempPlatform& tp, const HdWalletOptions& options) {
    tp.write("wallets.json", options.registry);
    tp.write("wallets/w1/wallet.json", core::dump_pretty(hd_wallet_document(options)));
}

bool bind_hd_wallet(const TempPlatform& tp, const std::string& instance, const HdWalletOptions& options) {
    write_hd_wallet(tp, options);
    wallet::init_app_binding("Quenvale", instance);
    wallet::forget_wallet();  // read the document afresh, not a copy kept in memory
    return wallet::load_wallet();
}

}  // namespace testing_support
