#pragma once
// Test support: the "abandon … about" HD wallet that most tests bind to, with the
// addresses it derives, written as wallet "w1" of a temporary platform folder.
#include <array>
#include <cstdint>
#include <string>

#include "tests/support/temp_platform.h"

namespace testing_support {

inline const char* const ABANDON =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
inline const char* const ABANDON_RECEIVE0 = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";   // m/44'/0'/0'/0/0
inline const char* const ABANDON_IDENTITY = "1Hg7Jm7G3DUetk4vxbAdjSf49qq3zbp8g6";   // identity path
inline const char* const ABANDON_ORDINALS0 = "1Hyoxs2Lp5dKW95bFyKh2JCtwsuS8PqML8";  // m/44'/236'/5'/0/0

struct HdWalletOptions {
    std::array<std::int64_t, 6> recv{0, 0, 0, 0, 0, 0};
    std::string paymail;  // "" = no member
    std::string registry = R"({"wallets":[{"id":"w1","name":"One"}]})";
};

// Writes wallets.json and wallets/w1/wallet.json for the ABANDON wallet.
void write_hd_wallet(const TempPlatform& tp, const HdWalletOptions& options = {});
// Writes the wallet, binds this process as `instance` and loads the document afresh.
// Returns false when the wallet did not load.
bool bind_hd_wallet(const TempPlatform& tp, const std::string& instance, const HdWalletOptions& options = {});

}  // namespace testing_support
