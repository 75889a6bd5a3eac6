// Wendrel.exe, the stand-in wallet application built for Windows, run as a real process
// against a temporary platform folder: its wallet is the one the gallery's connect binds
// and loads, and started with no command it says its window is not built here.
#include <gtest/gtest.h>

#include <string>

#include "core/json.h"
#include "core/profile.h"
#include "core/text.h"
#include "tests/support/temp_platform.h"
#include "wallet/connect.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::json_of;
using testing_support::run_program;
using testing_support::TempPlatform;

namespace {

std::string first_line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }

TEST(WendrelExe, NoCommandNamesTheCommandsInsteadOfAWindow) {
    TempPlatform tp;
    const auto r = run_program("Wendrel", {});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(core::starts_with(r.err, "wendrel: error: the wallet window is not part of the Windows build"))
        << r.err;
    EXPECT_NE(r.err.find("Wendrel approve"), std::string::npos) << r.err;
}

TEST(WendrelExe, ItsApprovalBindsTheGalleryToItsWallet) {
    TempPlatform tp;
    core::set_profile(core::Profile{});  // no chain services: nothing here needs them
    const auto made = run_program("Wendrel", {"create", "--name", "Gallery \"one\""});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const std::string id = first_line(made.out);
    const core::Json shown = json_of(run_program("Wendrel", {"show", "--json"}).out);
    ASSERT_TRUE(shown.is_object());
    const core::Json listed = json_of(run_program("Wendrel", {"list", "--json"}).out);
    ASSERT_TRUE(listed.is_array() && listed.size() == 1u) << listed.dump();
    EXPECT_EQ(listed[0]["name"], "Gallery \"one\"");  // the argument came through whole

    wallet::init_app_binding("Quenvale", "win-wendrel-test");
    const std::string request = wallet::write_connect_request();
    ASSERT_FALSE(request.empty());
    const core::Json pending = json_of(run_program("Wendrel", {"requests", "--json"}).out);
    ASSERT_TRUE(pending.is_array() && pending.size() == 1u) << pending.dump();
    EXPECT_EQ(pending[0]["id"], request);
    EXPECT_EQ(wallet::poll_connect_reply(request), wallet::PollOutcome::Pending);

    const auto approved = run_program("Wendrel", {"approve"});
    ASSERT_EQ(approved.exit_code, 0) << approved.err;
    ASSERT_EQ(wallet::poll_connect_reply(request), wallet::PollOutcome::Ok);
    EXPECT_EQ(wallet::app_binding().wallet_id, id);
    // Bound: the gallery loads the document Wendrel wrote and derives the same address.
    EXPECT_EQ(wallet::connect_wallet(), "success");
    const wallet::WalletSnapshot s = wallet::wallet_snapshot();
    EXPECT_TRUE(s.hd);
    EXPECT_EQ(s.address, shown["address"]);
    wallet::disconnect_wallet();
    core::reset_profile();
}

}  // namespace
