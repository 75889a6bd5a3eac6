#pragma once
// Test support: the "abandon … about" HD wallet that most tests bind to, with the
// addresses it derives, written as wallet "w1" of a temporary platform folder.
#include <array>
#include <cstdint>
#include <string>

#include "core/json.h"
#include "tests/support/temp_platform.h"

namespace testing_support {

inline const char* const ABANDON =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
inline const char* const ABANDON_RECEIVE0 = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";   // m/44'/236'/1'/0/0
inline const char* const ABANDON_IDENTITY = "1Hg7Jm7G3DUetk4vxbAdjSf49qq3zbp8g6";   // m/44'/236'/100'/0/0
inline const char* const ABANDON_ORDINALS0 = "1Hyoxs2Lp5dKW95bFyKh2JCtwsuS8PqML8";  // m/44'/236'/5'/0/0

// wallets.json with the one row "w1".
inline const char* const HD_WALLET_REGISTRY = R"({"wallets":[{"id":"w1","name":"One"}]})";

struct HdWalletOptions {
    std::array<std::int64_t, 6> recv{0, 0, 0, 0, 0, 0};
    std::string paymail = "";  // "" = no member; initialised so that {.recv = …} may leave it out
    std::string registry = HD_WALLET_REGISTRY;
    core::Json extra = core::Json::object();  // further members, written over the ones above
};

// The document of the ABANDON wallet: version 2, the words, recv, show 0, the paymail
// when there is one, then the members of extra.
core::Json hd_wallet_document(const HdWalletOptions& options = {});
// Writes wallets.json and wallets/w1/wallet.json for the ABANDON wallet.
void write_hd_wallet(const TempPlatform& tp, const HdWalletOptions& options = {});
// Writes the wallet, binds this process as `instance` and loads the document afresh.
// Returns false when the wallet did not load.
bool bind_hd_wallet(const TempPlatform& tp, const std::string& instance, const HdWalletOptions& options = {});

}  // namespace testing_support
