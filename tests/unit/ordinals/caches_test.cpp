// The platform-folder caches (content, type, name, kind), the transaction cache and the
// kind lookup that fills the kind cache.
#include "ordinals/caches.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "ordinals/kind_lookup.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

namespace {

class Caches : public WalletFixture {};

std::string seal_with(const std::string& label, const std::string& plain) {
    core::Bytes key = core::sha256(label), iv(12, 7), ct, tag;
    core::aes256gcm_encrypt(key, iv, core::to_bytes(plain), ct, tag);
    core::Bytes box = iv;
    box.insert(box.end(), tag.begin(), tag.end());
    box.insert(box.end(), ct.begin(), ct.end());
    return core::to_hex(box);
}

}  // namespace

TEST_F(Caches, ContentCacheBounds) {
    struct Case {
        const char* name;
        std::string bytes;
        bool cached;
    };
    std::vector<Case> cases = {
        {"one byte", "x", true},
        {"at the limit", std::string(ordinals::MAX_CONTENT_BYTES, 'z'), true},
        {"one past the limit", std::string(ordinals::MAX_CONTENT_BYTES + 1, 'z'), false},
        {"nothing", "", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string origin = txid('a') + "_" + std::to_string(n++);
        ordinals::content_cache_store(origin, "image/png", c.bytes);
        ordinals::Content got;
        EXPECT_EQ(ordinals::content_cache_read(origin, got), c.cached);
        if (c.cached) {
            EXPECT_EQ(got.bytes.size(), c.bytes.size());
            EXPECT_EQ(got.type, "image/png");
        }
    }
    // A file that grew past the limit (written by someone else) is a miss.
    tp.write("ord_cache/" + txid('b') + ".bin", std::string(ordinals::MAX_CONTENT_BYTES + 1, 'q'));
    ordinals::Content got;
    EXPECT_FALSE(ordinals::content_cache_read(txid('b'), got));
    tp.write("ord_cache/" + txid('c') + ".bin", "");
    EXPECT_FALSE(ordinals::content_cache_read(txid('c'), got));
}

TEST_F(Caches, TypeAndNameFilesAreReadByTheirFirstLine) {
    const std::string o = txid('d');
    tp.write("ord_cache/" + o + ".bin", "bytes");
    tp.write("ord_cache/" + o + ".typ", "image/gif\r\nsecond line");
    tp.write("ord_cache/" + o + ".nam", "First\nSecond");
    ordinals::Content got;
    ASSERT_TRUE(ordinals::content_cache_read(o, got));
    EXPECT_EQ(got.type, "image/gif");
    EXPECT_EQ(got.name, "First");
    // No .typ: the type is empty; a store without a type leaves no .typ behind.
    ordinals::content_cache_store(txid('e'), "", "bytes");
    ASSERT_TRUE(ordinals::content_cache_read(txid('e'), got));
    EXPECT_EQ(got.type, "");
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + txid('e') + ".typ")));
}

TEST_F(Caches, NameCacheStoresCleanedNames) {
    struct Case {
        std::string in, stored;
    };
    std::vector<Case> cases = {
        {std::string(60, 'x') + "\n", std::string(48, 'x')},
        {"\t Rose \t", "Rose"},
        {"   ", ""},
        {"", ""},
    };
    char c_id = '1';
    for (const auto& c : cases) {
        std::string o = txid(c_id++);
        ordinals::name_cache_store(o, c.in);
        EXPECT_EQ(ordinals::name_cache_read(o), c.stored) << c.in;
        EXPECT_EQ(core::file_exists(tp.path("ord_cache/" + o + ".nam")), !c.stored.empty());
    }
}

TEST_F(Caches, KindCacheKeysAndSharing) {
    const std::string upper = "AB" + std::string(62, 'c');
    const std::string key = core::lower_ascii(upper) + "_0";
    ordinals::kind_cache_store(upper, "Artwork");
    core::Json tags;
    ASSERT_TRUE(core::parse_json(tp.read("art/tags.json"), tags));
    EXPECT_EQ(tags, core::Json({{key, "Artwork"}}));
    EXPECT_EQ(ordinals::kind_cache_read(upper), "Artwork");
    EXPECT_EQ(ordinals::kind_cache_read(key), "Artwork");
    EXPECT_EQ(ordinals::kind_cache_read(upper + "_1"), "");

    // Entries of the wallet application survive our stores; a key written in another
    // case is found under the origin as given.
    const std::string theirs = txid('f') + "_2";
    tp.write("art/tags.json", core::dump_compact({{key, "Artwork"}, {"Other", "x"}, {"F" + theirs.substr(1), "Certificate"}}));
    EXPECT_EQ(ordinals::kind_cache_read("F" + theirs.substr(1)), "Certificate");
    ordinals::kind_cache_store(txid('9'), "Certificate");
    ASSERT_TRUE(core::parse_json(tp.read("art/tags.json"), tags));
    EXPECT_EQ(tags["Other"], "x");
    EXPECT_EQ(tags[txid('9') + "_0"], "Certificate");
    EXPECT_EQ(tags[key], "Artwork");

    // Only the two kind words are stored or believed.
    ordinals::kind_cache_store(txid('8'), "Sculpture");
    tp.write("art/tags.json", core::dump_compact({{txid('7') + "_0", "Sculpture"}}));
    EXPECT_EQ(ordinals::kind_cache_read(txid('7')), "");

    // A file that does not parse is never replaced.
    tp.write("art/tags.json", "{not json");
    ordinals::kind_cache_store(txid('6'), "Artwork");
    EXPECT_EQ(tp.read("art/tags.json"), "{not json");
    EXPECT_EQ(ordinals::kind_cache_read(txid('6')), "");
}

TEST_F(Caches, KindCacheStoreWaitsForTheStoreLock) {
    const std::string path = tp.path("art/tags.json");
    tp.write("art/tags.json", core::dump_compact({{txid('1') + "_0", "Artwork"}}));
    race_with_wallet_app(
        path, [&] { ordinals::kind_cache_store(txid('a'), "Certificate"); },
        [&](core::Json& j) { j[txid('b') + "_0"] = "Artwork"; });
    core::Json tags;
    ASSERT_TRUE(core::parse_json(tp.read("art/tags.json"), tags));
    EXPECT_EQ(tags, core::Json({{txid('1') + "_0", "Artwork"}, {txid('a') + "_0", "Certificate"}, {txid('b') + "_0", "Artwork"}}));
}

TEST_F(Caches, TransactionCacheIsBoundedByBytes) {
    // Transactions a little over a quarter of the byte budget each (twice their raw size
    // counts): three fit, a fourth pushes out the least recently used.
    const std::size_t pad = ordinals::MAX_CACHED_TX_BYTES / 8 + 1024;
    std::map<char, std::string> id;
    for (char c : {'a', 'b', 'c', 'd'}) id[c] = known_tx(services, {core::Bytes(pad, static_cast<std::uint8_t>(c))}, c);
    auto fetches = [&](char c) { return services.raw_asked(id[c]); };
    core::Json tx;
    for (char c : {'a', 'b', 'c', 'a'}) ASSERT_TRUE(ordinals::fetch_tx_json(id[c], tx));
    EXPECT_EQ(fetches('a'), 1u);  // the second read of a was a hit, and made b the oldest
    ASSERT_TRUE(ordinals::fetch_tx_json(id['d'], tx));
    for (char c : {'a', 'c', 'd'}) ASSERT_TRUE(ordinals::fetch_tx_json(id[c], tx));
    EXPECT_EQ(fetches('a'), 1u);
    EXPECT_EQ(fetches('c'), 1u);
    EXPECT_EQ(fetches('d'), 1u);
    ASSERT_TRUE(ordinals::fetch_tx_json(id['b'], tx));
    EXPECT_EQ(tx["vout"][0]["scriptPubKey"]["hex"], core::to_hex(core::Bytes(pad, 'b')));
    EXPECT_EQ(fetches('b'), 2u);  // given up for d, so asked again
}

TEST_F(Caches, TransactionCacheFetchesOnce) {
    const std::string t = known_tx(services, {{0x51}});
    core::Json a, b;
    ASSERT_TRUE(ordinals::fetch_tx_json(t, a));
    std::string upper = t;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    ASSERT_TRUE(ordinals::fetch_tx_json(upper, b));  // same id, other case
    EXPECT_EQ(a, b);
    EXPECT_EQ(a["vout"][0]["scriptPubKey"]["hex"], "51");
    EXPECT_EQ(services.raw_asked(t), 1u);
    // Bytes that are not the transaction asked for are not kept; ids that are not txids
    // are not asked.
    services.raw_tx(txid('b'), core::to_hex(core::Bytes(40, 0x01)));
    EXPECT_FALSE(ordinals::fetch_tx_json(txid('b'), a));
    EXPECT_FALSE(ordinals::fetch_tx_json(txid('b'), a));
    EXPECT_EQ(services.raw_asked(txid('b')), 2u);
    EXPECT_FALSE(ordinals::fetch_tx_json("../" + t, a));
    EXPECT_FALSE(ordinals::fetch_tx_json(t.substr(2), a));
    EXPECT_EQ(services.seen().size(), 3u);
}

TEST_F(Caches, KindLookupFromTheIndexThenTheTransaction) {
    const std::string label = "unit-tag-lab1";
    core::Profile p = services.profile();
    p.app_tag_label = label;
    core::set_profile(p);

    // 1: the index's txo classifies it.
    const std::string a = txid('a');
    services.json("/ord/api/txos/" + a + "_0", txo(a, 0, ABANDON_ORDINALS0, gallery_data("image/png", "Pic")));
    EXPECT_EQ(ordinals::inscription_kind(a), "Artwork");
    EXPECT_EQ(ordinals::kind_cache_read(a + "_0"), "Artwork");
    services.clear();
    EXPECT_EQ(ordinals::inscription_kind(a + "_0"), "Artwork");  // from the cache now
    EXPECT_TRUE(services.seen().empty());

    // 2: the index does not know it; the transaction's MAP tag opens.
    core::Bytes script = inscription_script(ABANDON_ORDINALS0, "text/plain", "x",
                                            {{"app", "ZuvAdudurero"}, {"tag", seal_with(label, "Certificate")}});
    const std::string b = known_tx(services, {{0x00}, script});
    EXPECT_EQ(ordinals::inscription_kind(b + "_1"), "Certificate");
    EXPECT_EQ(ordinals::kind_cache_read(b + "_1"), "Certificate");

    // 3: a tag under another label, or no kind anywhere: empty, nothing cached.
    core::Bytes other = inscription_script(ABANDON_ORDINALS0, "text/plain", "x", {{"tag", seal_with("wrong-label!!", "Artwork")}});
    const std::string c = known_tx(services, {other}, 'c');
    services.json("/ord/api/txos/" + c + "_0", txo(c, 0, ABANDON_ORDINALS0, gallery_data("text/plain", "Note")));
    EXPECT_EQ(ordinals::inscription_kind(c), "");
    EXPECT_EQ(ordinals::kind_cache_read(c), "");
    EXPECT_EQ(ordinals::inscription_kind("../../x"), "");
}
