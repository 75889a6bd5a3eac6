// The profile in force as QUENVALE_PROFILE names it: a named file that is missing or
// broken never turns into main net.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/temp_platform.h"

namespace {

class ProfileInForce : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    std::string saved;
    bool had = false;
    void SetUp() override {
        if (const char* v = std::getenv("QUENVALE_PROFILE")) {
            had = true;
            saved = v;
        }
    }
    void TearDown() override {
        if (had)
            testing_support::set_env("QUENVALE_PROFILE", saved.c_str());
        else
            testing_support::unset_env("QUENVALE_PROFILE");
        core::reset_profile();
    }
    void use(const std::string& path) {
        testing_support::set_env("QUENVALE_PROFILE", path.c_str());
        core::reset_profile();
    }
};

}  // namespace

TEST_F(ProfileInForce, UnsetMeansTheCompiledInMainNet) {
    testing_support::unset_env("QUENVALE_PROFILE");
    core::reset_profile();
    EXPECT_EQ(core::profile_error(), "");
    EXPECT_EQ(core::profile().network, "mainnet");
    EXPECT_FALSE(core::profile().woc_api.empty());
}

TEST_F(ProfileInForce, ANamedFileThatLoadsReplacesMainNet) {
    core::Json p;
    ASSERT_TRUE(core::parse_json(core::MAINNET_PROFILE_JSON, p));
    p["network"] = "testbed";
    p["woc_api"] = "http://127.0.0.1:1/woc";
    tp.write("profile.json", core::dump_pretty(p));
    use(tp.path("profile.json"));
    EXPECT_EQ(core::profile_error(), "");
    EXPECT_EQ(core::profile().network, "testbed");
    EXPECT_EQ(core::profile().woc_api, "http://127.0.0.1:1/woc");
}

TEST_F(ProfileInForce, AFileThatCannotBeReadOrParsedIsAnErrorAndNoService) {
    core::Json missing_member;
    ASSERT_TRUE(core::parse_json(core::MAINNET_PROFILE_JSON, missing_member));
    missing_member.erase("arc_tx");
    tp.write("half.json", "{\"network\": \"devn");
    tp.write("member.json", core::dump_pretty(missing_member));
    tp.write("array.json", "[]");
    core::make_dirs(tp.path("folder.json"));
    const struct {
        std::string path;
        std::string error;
    } rows[] = {
        {tp.path("absent.json"), "the network profile " + tp.path("absent.json") + " could not be read"},
        {tp.path("folder.json"), "the network profile " + tp.path("folder.json") + " could not be read"},
        {tp.path("half.json"), "the network profile " + tp.path("half.json") + " is not valid: profile is not a JSON object"},
        {tp.path("array.json"), "the network profile " + tp.path("array.json") + " is not valid: profile is not a JSON object"},
        {tp.path("member.json"), "the network profile " + tp.path("member.json") +
                                     " is not valid: profile member \"arc_tx\" is missing or not a string"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        use(r.path);
        EXPECT_EQ(core::profile_error(), r.error);
        // Nothing of main net is in force: every service root is empty.
        EXPECT_EQ(core::profile().network, "");
        EXPECT_EQ(core::profile().woc_api, "");
        EXPECT_EQ(core::profile().arc_tx, "");
        EXPECT_EQ(core::profile().service_root, "");
    }
    // A test's own profile clears the error.
    core::set_profile(core::Profile{});
    EXPECT_EQ(core::profile_error(), "");
}

namespace {

// The compiled-in main-net profile with "woc_rps" set to value (absent when null).
std::string with_rate(const core::Json& value) {
    core::Json j;
    EXPECT_TRUE(core::parse_json(core::MAINNET_PROFILE_JSON, j));
    j.erase("woc_rps");
    if (!value.is_null()) j["woc_rps"] = value;
    return core::dump_compact(j);
}

}  // namespace

TEST(ProfileRate, AbsentIsTheFreeLimitAndOnlyAWholeNumberInRangeIsTaken) {
    struct Case {
        core::Json value;
        bool ok;
        int rate;
    };
    const std::vector<Case> cases = {
        {nullptr, true, core::WOC_FREE_RPS}, {0, true, 0},       {10, true, 10},     {1000, true, 1000},
        {-1, false, 0},                      {1001, false, 0},   {"3", false, 0},    {2.5, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        core::Profile p;
        std::string error;
        EXPECT_EQ(core::parse_profile(with_rate(c.value), p, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(p.woc_rps, c.rate);
        } else {
            EXPECT_EQ(error, "profile member \"woc_rps\" must be a whole number from 0 to 1000");
        }
    }
    // A profile made in code, not read from a file, keeps no rate.
    EXPECT_EQ(core::Profile{}.woc_rps, 0);
}
