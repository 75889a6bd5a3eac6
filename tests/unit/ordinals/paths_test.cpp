// Origins as file names: which texts are origins, how they normalise, and that text
// which is not one never reaches the file system, neither to read nor to write.
#include "ordinals/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/bytes.h"
#include "core/hex.h"
#include "ordinals/caches.h"
#include "ordinals/inbox.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

namespace {

using ord_test::txid;

const std::string HEX = "ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789";

std::set<std::string> files_under(const std::string& root) {
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) out.insert(it->path().string());
    return out;
}

// Text that must never name a cache file.
const std::vector<std::string> HOSTILE = {
    "../../x",
    "abc/../",
    HEX + "_abc",
    HEX + "_1/../../../x",
    HEX + "/../../x",
    HEX + "_",
    HEX + "_-1",
    HEX + "_01",
    HEX + "_4294967296",
    "/tmp/quenvale-absolute",
    "/" + HEX,
    HEX.substr(0, 63),
    HEX + "0",
    "",
    std::string(64, 'g'),
    HEX + "_1\n",
};

}  // namespace

TEST(OrdinalsPaths, OriginTextAndParsing) {
    struct Case {
        std::string text;
        bool ok;
        std::string txid;
        std::uint32_t vout;
    };
    const std::string low = core::lower_ascii(HEX);
    std::vector<Case> cases = {
        {HEX, true, low, 0},
        {HEX + "_0", true, low, 0},
        {HEX + "_7", true, low, 7},
        {HEX + "_4294967295", true, low, 4294967295u},
    };
    for (const auto& bad : HOSTILE) cases.push_back({bad, false, "", 0});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ordinals::is_origin_text(c.text), c.ok);
        std::string t;
        std::uint32_t v = 99;
        EXPECT_EQ(ordinals::parse_origin(c.text, t, v), c.ok);
        EXPECT_EQ(t, c.txid);
        if (c.ok) {
            EXPECT_EQ(v, c.vout);
        }
    }
}

TEST(OrdinalsPaths, OriginKeyAndHostId) {
    const std::string low = core::lower_ascii(HEX);
    EXPECT_EQ(ordinals::origin_key(HEX), low + "_0");
    EXPECT_EQ(ordinals::origin_key(HEX + "_3"), low + "_3");
    EXPECT_EQ(ordinals::host_content_id(HEX), HEX + "_0");  // case kept: the host is asked as given
    EXPECT_EQ(ordinals::host_content_id(HEX + "_3"), HEX + "_3");
    for (const auto& bad : HOSTILE) {
        EXPECT_EQ(ordinals::origin_key(bad), "") << bad;
        EXPECT_EQ(ordinals::host_content_id(bad), "") << bad;
    }
}

TEST(OrdinalsPaths, CacheFilesAreNamedByTheOriginAsGiven) {
    testing_support::TempPlatform tp;
    EXPECT_EQ(ordinals::content_bin_path(HEX), tp.path("ord_cache/" + HEX + ".bin"));
    EXPECT_EQ(ordinals::content_type_path(HEX + "_2"), tp.path("ord_cache/" + HEX + "_2.typ"));
    EXPECT_EQ(ordinals::name_path(HEX), tp.path("ord_cache/" + HEX + ".nam"));
    EXPECT_EQ(ordinals::kind_cache_path(), tp.path("art/tags.json"));
    EXPECT_EQ(ordinals::inbox_path(std::string(40, 'A')), tp.path("ord_inbox/" + std::string(40, 'a') + ".json"));
    EXPECT_EQ(ordinals::snapshot_path("w1"), tp.path("ord_snap/w1.json"));
    for (const auto& bad : HOSTILE) {
        EXPECT_EQ(ordinals::content_bin_path(bad), "") << bad;
        EXPECT_EQ(ordinals::content_type_path(bad), "") << bad;
        EXPECT_EQ(ordinals::name_path(bad), "") << bad;
    }
    for (const std::string& bad : std::vector<std::string>{"", "wallet", "../w1", "w/1", "w.1", std::string(81, 'a')})
        EXPECT_EQ(ordinals::snapshot_path(bad), "") << bad;
    for (const std::string& bad : std::vector<std::string>{"", "../" + std::string(37, 'a'), std::string(39, 'a') + "g",
                                                           std::string(41, 'a'), std::string(38, 'a')})
        EXPECT_EQ(ordinals::inbox_path(bad), "") << bad;
}

TEST(OrdinalsPaths, HostileOriginsReadAsMissesAndWriteNothing) {
    testing_support::TempPlatform tp;
    // Files where the traversals would land if they were followed.
    tp.write("x.bin", "planted");
    tp.write("Orvane/x.bin", "planted");
    std::set<std::string> before = files_under(tp.root());
    for (const auto& bad : HOSTILE) {
        SCOPED_TRACE(bad);
        ordinals::content_cache_store(bad, "image/png", "\x89PNG....");
        ordinals::name_cache_store(bad, "a name");
        ordinals::kind_cache_store(bad, "Artwork");
        ordinals::inbox_deliver(core::Bytes(20, 0x11), bad, "image/png", "n", "", "", testing_support::ABANDON_ORDINALS0, "bytes");
        ordinals::Content c;
        EXPECT_FALSE(ordinals::content_cache_read(bad, c));
        EXPECT_EQ(ordinals::name_cache_read(bad), "");
        EXPECT_EQ(ordinals::kind_cache_read(bad), "");
    }
    EXPECT_EQ(files_under(tp.root()), before);
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists("/tmp/quenvale-absolute.bin", ec));
    EXPECT_FALSE(std::filesystem::exists("/tmp/quenvale-absolute.nam", ec));
}
