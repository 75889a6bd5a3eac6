// The frame picture store against real files and a scripted ordinals host: what is
// fetched, what is written where, when a stored picture is trusted, and two stores of
// one frame at once.
#include "bridge/pictures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ordinals/caches.h"
#include "ordinals/paths.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

namespace {

using ord_test::txid;

const std::string PNG = std::string("\x89PNG\r\n\x1a\n\0\xff\x01pixels", 17);
const std::string PNG_2 = std::string("\x89PNG\r\n\x1a\nother picture\0", 22);
const std::string JPEG = std::string("\xff\xd8\xff\xe0\0jpeg", 9);

// How long the hook of the race tests holds one store between picture and side file.
constexpr std::chrono::milliseconds HOLD{300};

std::string read(const std::string& path) {
    std::string text;
    core::read_file(path, text);
    return text;
}

bridge::SpotPic pic_of(const std::string& ext, const std::string& bytes) {
    return bridge::SpotPic{ext, core::to_bytes(bytes), true};
}

class SpotPictures : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    ord_test::FakeServices services;
    std::string web, data;

    void SetUp() override {
        core::set_profile(services.profile());
        ordinals::reset_cache_state();
        bridge::reset_pictures_for_tests();
        web = tp.root() + "/web";
        data = tp.root() + "/data";
        ASSERT_TRUE(core::make_dirs(web));
        bridge::set_picture_folders(web, data);
        ASSERT_EQ(bridge::spots_folder(), web + "/spots");
    }
    void TearDown() override {
        bridge::reset_pictures_for_tests();
        ordinals::reset_cache_state();
        core::reset_profile();
    }

    std::string spot(const std::string& name) const { return bridge::spots_folder() + "/" + name; }
    // The ordinals host serves bytes for origin.
    void serve(const std::string& origin, const std::string& bytes) {
        services.reply("/ord/content/" + ordinals::host_content_id(origin), 200, bytes);
    }
    // The content cache of the platform folder holds origin with this type.
    void cache(const std::string& origin, const std::string& type, const std::string& bytes) {
        tp.write("ord_cache/" + origin + ".bin", bytes);
        tp.write("ord_cache/" + origin + ".typ", type);
    }
};

}  // namespace

TEST(SpotPictureExtension, FromContentType) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"image/png", "png"},
        {"IMAGE/PNG", "png"},
        {"image/jpeg; charset=binary", "jpg"},
        {"image/jpg", "jpg"},
        {"image/webp", "webp"},
        {"Image/GIF", "gif"},
        {"image/svg+xml", ""},
        {"application/octet-stream", ""},
        {"text/plain", ""},
        {"", ""},
    };
    for (const auto& [type, ext] : cases) EXPECT_EQ(bridge::picture_extension(type), ext) << type;
}

TEST_F(SpotPictures, FetchedPictureIsStoredOnceAndTrustedInEitherCase) {
    const std::string origin = txid('a') + "_0";
    serve(origin, PNG);

    const bridge::SpotPic first = bridge::fetch_spot_picture(3, origin);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.extension, "png");
    EXPECT_EQ(core::to_string(first.bytes), PNG);
    EXPECT_EQ(bridge::store_spot_picture(3, origin, first), "spots/ap3.png");
    EXPECT_EQ(read(spot("ap3.png")), PNG);
    EXPECT_EQ(read(spot("ap3.origin")), "png\n" + origin + "\n");
    const std::size_t asked = services.seen().size();
    EXPECT_GE(asked, 1u);

    // The same artwork named in capitals: the stored picture is still good, and neither
    // the network nor the content cache (which keeps names as given) is asked.
    const std::string upper = std::string(64, 'A') + "_0";
    const bridge::SpotPic again = bridge::fetch_spot_picture(3, upper);
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.extension, "png");
    EXPECT_TRUE(again.bytes.empty());
    EXPECT_EQ(bridge::spot_picture_url(3, upper), "spots/ap3.png");
    EXPECT_EQ(services.seen().size(), asked);
    EXPECT_EQ(read(spot("ap3.origin")), "png\n" + origin + "\n");  // untouched
}

TEST_F(SpotPictures, StoredPictureIsTrustedOnlyWhenSideFileAndFileAgree) {
    const std::string origin = txid('b');
    serve(origin, PNG);
    ASSERT_EQ(bridge::spot_picture_url(2, origin), "spots/ap2.png");
    EXPECT_EQ(read(spot("ap2.origin")), "png\n" + origin + "\n");

    struct Case {
        const char* name;
        std::string side;
        bool make_folder = false;  // ap2.png is a folder
        bool remove_picture = false;
        bool trusted = false;
    };
    const std::vector<Case> cases = {
        {"as stored", "png\n" + origin + "\n", false, false, true},
        {"last line end missing", "png\n" + origin, false, false, true},
        {"other letter case, CRLF", "png\r\n" + core::lower_ascii(origin) + "\r\n", false, false, true},
        {"another origin", "png\n" + txid('c') + "\n"},
        {"the outpoint form of the same id", "png\n" + origin + "_0\n"},
        {"one line only", "png"},
        {"no extension", "\n" + origin + "\n"},
        {"an extension we do not store", "exe\n" + origin + "\n"},
        {"an extension that is a path", "../png\n" + origin + "\n"},
        {"picture file deleted", "png\n" + origin + "\n", false, true},
        {"picture name is a folder", "png\n" + origin + "\n", true, true},
    };
    core::write_file(spot("ap2.exe"), "MZ");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(core::write_file(spot("ap2.origin"), c.side));
        if (c.remove_picture) core::remove_file(spot("ap2.png"));
        if (c.make_folder) {
            ASSERT_TRUE(core::make_dirs(spot("ap2.png")));
        }
        const bridge::SpotPic pic = bridge::fetch_spot_picture(2, origin);
        EXPECT_TRUE(pic.ok);
        EXPECT_EQ(pic.extension, "png");
        // Not trusted: the content is read again (the content cache has it by now).
        EXPECT_EQ(core::to_string(pic.bytes), c.trusted ? "" : PNG);
        if (c.make_folder) std::filesystem::remove(spot("ap2.png"));
        if (c.remove_picture) {
            ASSERT_EQ(bridge::store_spot_picture(2, origin, pic), "spots/ap2.png");
        }
        EXPECT_EQ(read(spot("ap2.png")), PNG);
    }
}

TEST_F(SpotPictures, ChangedArtworkGetsItsOwnFileAndSideFile) {
    const std::string first = txid('d') + "_1", second = txid('e');
    serve(first, PNG);
    serve(second, JPEG);
    ASSERT_EQ(bridge::spot_picture_url(7, first), "spots/ap7.png");
    ASSERT_EQ(bridge::spot_picture_url(7, second), "spots/ap7.jpg");
    EXPECT_EQ(read(spot("ap7.jpg")), JPEG);
    EXPECT_EQ(read(spot("ap7.origin")), "jpg\n" + second + "\n");
    EXPECT_EQ(read(spot("ap7.png")), PNG);  // the old file stays
    // Back to the first artwork: the side file names the other one, so it is read again.
    const bridge::SpotPic back = bridge::fetch_spot_picture(7, first);
    EXPECT_EQ(core::to_string(back.bytes), PNG);
}

TEST_F(SpotPictures, ContentTypeDecidesTheFileOrNothing) {
    const std::string jpeg = txid('1'), svg = txid('2');
    cache(jpeg, "image/jpeg; charset=binary", JPEG);
    cache(svg, "image/svg+xml", "<svg xmlns='http://www.w3.org/2000/svg'/>");
    EXPECT_EQ(bridge::spot_picture_url(4, jpeg), "spots/ap4.jpg");
    EXPECT_EQ(read(spot("ap4.jpg")), JPEG);

    const bridge::SpotPic pic = bridge::fetch_spot_picture(6, svg);
    EXPECT_FALSE(pic.ok);
    EXPECT_EQ(pic.extension, "");
    EXPECT_TRUE(pic.bytes.empty());
    EXPECT_EQ(bridge::spot_picture_url(6, svg), "");
    EXPECT_EQ(core::list_files(bridge::spots_folder()), (std::vector<std::string>{"ap4.jpg", "ap4.origin"}));
    EXPECT_TRUE(services.seen().empty());
}

TEST_F(SpotPictures, FailedOrOversizedFetchStoresNothing) {
    const std::string missing = txid('3') + "_0", huge = txid('4') + "_0";
    std::string big = PNG;
    big.resize(ordinals::MAX_CONTENT_BYTES + 1, 'x');
    serve(huge, big);

    for (const std::string& origin : {missing, huge}) {
        SCOPED_TRACE(origin);
        const bridge::SpotPic pic = bridge::fetch_spot_picture(8, origin);
        EXPECT_FALSE(pic.ok);
        EXPECT_TRUE(pic.bytes.empty());
        EXPECT_EQ(bridge::store_spot_picture(8, origin, pic), "");
        EXPECT_EQ(bridge::spot_picture_url(8, origin), "");
    }
    EXPECT_GE(services.count("/ord/content/" + missing), 1u);
    EXPECT_GE(services.count("/ord/content/" + huge), 1u);
    EXPECT_TRUE(core::list_files(bridge::spots_folder()).empty());
    // A picture past the content limit handed in directly is not written either.
    EXPECT_EQ(bridge::store_spot_picture(8, huge, pic_of("png", big)), "");
    EXPECT_TRUE(core::list_files(bridge::spots_folder()).empty());
}

TEST_F(SpotPictures, HostileOriginsAndFramesAreRefusedUntouched) {
    const std::string good = txid('f');
    const std::vector<std::string> origins = {
        "../x", "a\nb", txid('f').substr(0, 63), txid('f') + "f", good + "_", good + "_-1", good + "_1/../x",
        good + "\n", good + "_1\npng", "../../" + good, "",
    };
    for (const std::string& origin : origins) {
        SCOPED_TRACE(core::to_hex(origin));
        EXPECT_FALSE(bridge::fetch_spot_picture(3, origin).ok);
        EXPECT_EQ(bridge::store_spot_picture(3, origin, pic_of("png", PNG)), "");
        EXPECT_EQ(bridge::spot_picture_url(3, origin), "");
    }
    for (int n : {0, 11, -1, 1000}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(bridge::fetch_spot_picture(n, good).ok);
        EXPECT_EQ(bridge::store_spot_picture(n, good, pic_of("png", PNG)), "");
        EXPECT_EQ(bridge::spot_picture_url(n, good), "");
    }
    // An extension is part of a path, so only the four picture ones are written.
    for (const char* ext : {"../x", "png/..", "exe", "PNG", ""}) {
        SCOPED_TRACE(ext);
        EXPECT_EQ(bridge::store_spot_picture(3, good, pic_of(ext, PNG)), "");
    }
    // Not ok is not stored, bytes or not.
    EXPECT_EQ(bridge::store_spot_picture(3, good, bridge::SpotPic{"png", core::to_bytes(PNG), false}), "");
    EXPECT_TRUE(services.seen().empty());
    EXPECT_TRUE(core::list_files(bridge::spots_folder()).empty());
    EXPECT_FALSE(core::entry_exists(tp.path("ord_cache")));
}

TEST_F(SpotPictures, WithoutAStoreNothingIsFetched) {
    bridge::reset_pictures_for_tests();
    const std::string origin = txid('5');
    serve(origin, PNG);
    EXPECT_EQ(bridge::spots_folder(), "");
    EXPECT_FALSE(bridge::fetch_spot_picture(1, origin).ok);
    EXPECT_EQ(bridge::store_spot_picture(1, origin, pic_of("png", PNG)), "");
    EXPECT_EQ(bridge::spot_picture_url(1, origin), "");
    EXPECT_TRUE(services.seen().empty());
}

TEST_F(SpotPictures, WritableWebFolderIsChosenWithoutLeavingTheProbe) {
    EXPECT_TRUE(core::is_directory(web + "/spots"));
    EXPECT_TRUE(core::list_files(web + "/spots").empty());
    EXPECT_FALSE(core::entry_exists(data));
}

TEST_F(SpotPictures, WebFolderThatCannotHoldSpotsFallsBackToTheDataFolder) {
    const std::string origin = txid('6');
    serve(origin, PNG);
    // spots is taken by a file; another web folder does not exist at all.
    const std::string blocked = tp.root() + "/blocked", absent = tp.root() + "/absent";
    ASSERT_TRUE(core::make_dirs(blocked));
    ASSERT_TRUE(core::write_file(blocked + "/spots", "not a folder"));
    for (const std::string& w : {blocked, absent}) {
        SCOPED_TRACE(w);
        bridge::set_picture_folders(w, data);
        EXPECT_EQ(bridge::spots_folder(), data + "/spots");
        EXPECT_EQ(bridge::spot_picture_url(3, origin), "spots/ap3.png");
        EXPECT_EQ(read(data + "/spots/ap3.png"), PNG);
        EXPECT_EQ(read(data + "/spots/ap3.origin"), "png\n" + origin + "\n");
    }
    EXPECT_EQ(read(blocked + "/spots"), "not a folder");
    EXPECT_FALSE(core::entry_exists(absent));
    // Neither folder usable: no store at all.
    bridge::set_picture_folders(absent, "");
    EXPECT_EQ(bridge::spots_folder(), "");
}

TEST_F(SpotPictures, ReadOnlyWebFolderFallsBackToTheDataFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
    const std::string origin = txid('7');
    serve(origin, PNG);
    const std::string locked = tp.root() + "/locked";
    ASSERT_TRUE(core::make_dirs(locked));
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    bridge::set_picture_folders(locked, data);
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(bridge::spots_folder(), data + "/spots");
    EXPECT_EQ(bridge::spot_picture_url(3, origin), "spots/ap3.png");
    EXPECT_EQ(read(data + "/spots/ap3.png"), PNG);
    EXPECT_FALSE(core::entry_exists(locked + "/spots"));
}

namespace {

// The first store to reach the hook (after its picture file, before its side file)
// waits there until some other store has returned, or HOLD at most. A store that keeps
// the frame to itself makes the other wait its turn, so the hold runs out.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    int hooks = 0;
    int returned = 0;
};

void two_stores_at_once(int n, const std::string& a, const bridge::SpotPic& pa, const std::string& b,
                        const bridge::SpotPic& pb, std::string& url_a, std::string& url_b) {
    auto gate = std::make_shared<Gate>();
    bridge::set_picture_store_hook([gate] {
        std::unique_lock<std::mutex> lock(gate->m);
        if (++gate->hooks == 1) gate->cv.wait_for(lock, HOLD, [&] { return gate->returned > 0; });
    });
    auto run = [&](const std::string& origin, const bridge::SpotPic& pic, std::string& url) {
        url = bridge::store_spot_picture(n, origin, pic);
        {
            std::lock_guard<std::mutex> lock(gate->m);
            ++gate->returned;
        }
        gate->cv.notify_all();
    };
    std::thread ta(run, std::cref(a), std::cref(pa), std::ref(url_a));
    std::thread tb(run, std::cref(b), std::cref(pb), std::ref(url_b));
    ta.join();
    tb.join();
    bridge::set_picture_store_hook(nullptr);
}

}  // namespace

TEST_F(SpotPictures, TwoStoresOfOneFrameLeaveASideFileThatNamesTheFile) {
    const std::string a = txid('a'), b = txid('b') + "_2";
    struct Case {
        const char* name;
        std::string ext_b, bytes_b;
    };
    const std::vector<Case> cases = {{"same extension", "png", PNG_2}, {"other extensions", "jpg", JPEG}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++n;
        std::string url_a, url_b;
        two_stores_at_once(n, a, pic_of("png", PNG), b, pic_of(c.ext_b, c.bytes_b), url_a, url_b);
        EXPECT_EQ(url_a, "spots/ap" + std::to_string(n) + ".png");
        EXPECT_EQ(url_b, "spots/ap" + std::to_string(n) + "." + c.ext_b);

        const std::string side = read(spot("ap" + std::to_string(n) + ".origin"));
        const std::string named_a = "png\n" + a + "\n", named_b = c.ext_b + "\n" + b + "\n";
        ASSERT_TRUE(side == named_a || side == named_b) << side;
        const bool is_a = side == named_a;
        EXPECT_EQ(read(spot("ap" + std::to_string(n) + "." + (is_a ? "png" : c.ext_b))), is_a ? PNG : c.bytes_b)
            << "the side file names " << (is_a ? "a" : "b") << " but the file holds the other picture";
    }
}

TEST_F(SpotPictures, CheckDuringAStoreDoesNotTakeTheNewPictureForTheOld) {
    const std::string old = txid('c'), next = txid('d');
    cache(old, "image/png", PNG);
    ASSERT_EQ(bridge::spot_picture_url(5, old), "spots/ap5.png");

    struct Hold {
        std::mutex m;
        std::condition_variable cv;
        bool in_hook = false;
        bool checked = false;
    };
    auto hold = std::make_shared<Hold>();
    bridge::set_picture_store_hook([hold] {
        std::unique_lock<std::mutex> lock(hold->m);
        hold->in_hook = true;
        hold->cv.notify_all();
        hold->cv.wait_for(lock, HOLD, [&] { return hold->checked; });
    });
    std::string url_next;
    std::thread store([&] { url_next = bridge::store_spot_picture(5, next, pic_of("png", PNG_2)); });
    {
        std::unique_lock<std::mutex> lock(hold->m);
        ASSERT_TRUE(hold->cv.wait_for(lock, std::chrono::seconds(10), [&] { return hold->in_hook; }));
    }
    // A walls load still showing the old artwork, while a place stores the new one.
    const bridge::SpotPic seen = bridge::fetch_spot_picture(5, old);
    {
        std::lock_guard<std::mutex> lock(hold->m);
        hold->checked = true;
    }
    hold->cv.notify_all();
    store.join();
    bridge::set_picture_store_hook(nullptr);

    EXPECT_EQ(url_next, "spots/ap5.png");
    // The side file names the new artwork once the store is done, so the old one is
    // read again rather than trusted to the file that now holds the new picture.
    EXPECT_TRUE(seen.ok);
    EXPECT_EQ(core::to_string(seen.bytes), PNG);
    EXPECT_EQ(read(spot("ap5.png")), PNG_2);
    EXPECT_EQ(read(spot("ap5.origin")), "png\n" + next + "\n");
    EXPECT_TRUE(services.seen().empty());
}
