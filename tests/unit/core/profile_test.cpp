// The profile in force as QUENVALE_PROFILE names it: a named file that is missing or
// broken never turns into main net.
#include <gtest/gtest.h>

#include <cstdlib>

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
