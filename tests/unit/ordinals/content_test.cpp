// Reading inscriptions out of output scripts, sniffing content types, and the content
// fetch order against scripted services: cache, ordinals host, WhatsOnChain.
#include "ordinals/content.h"

#include <gtest/gtest.h>

#include "chain/tx.h"
#include "core/files.h"
#include "core/hex.h"
#include "ordinals/envelope.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

TEST(OrdinalsEnvelope, LayoutsThatCarryAnInscription) {
    core::Bytes lock = p2pkh(ORD0);
    core::Bytes h;
    wallet::hash160_from_address(ORD0, h);
    struct Case {
        const char* name;
        core::Bytes script;
        bool ok;
        std::string type, content, map_name;
    };
    core::Bytes lock_first = lock;
    append(lock_first, envelope("text/plain", {"hello"}));
    core::Bytes env_first = envelope("image/png", {"\x89PNG", "rest"});
    append(env_first, lock);
    core::Bytes with_map = inscription_script(ORD0, "application/json", "{}", {{"app", "ZuvAdudurero"}, {"name", "Dot"}});
    core::Bytes bare = envelope("text/plain", {"x"});
    core::Bytes gap = envelope("text/plain", {"x"});
    gap.push_back(0x61);  // OP_NOP between envelope and lock
    append(gap, lock);
    core::Bytes unterminated = lock;
    append(unterminated, envelope("text/plain", {"x"}));
    unterminated.pop_back();  // no OP_ENDIF
    core::Bytes truncated = inscription_script(ORD0, "text/plain", std::string(300, 'a'));
    truncated.resize(100);
    core::Bytes wrong_tag = lock;
    core::Bytes not_ord = {0x00, 0x63};
    push(not_ord, "orx");
    not_ord.insert(not_ord.end(), {0x51});
    push(not_ord, "text/plain");
    not_ord.insert(not_ord.end(), {0x00});
    push(not_ord, "x");
    not_ord.push_back(0x68);
    append(wrong_tag, not_ord);
    std::vector<Case> cases = {
        {"lock then envelope", lock_first, true, "text/plain", "hello", ""},
        {"envelope then lock, body in two pushes", env_first, true, "image/png", "\x89PNGrest", ""},
        {"envelope, lock, MAP", with_map, true, "application/json", "{}", "Dot"},
        {"envelope without a lock", bare, false, "", "", ""},
        {"something between envelope and lock", gap, false, "", "", ""},
        {"no OP_ENDIF", unterminated, false, "", "", ""},
        {"script cut short", truncated, false, "", "", ""},
        {"not an ord envelope", wrong_tag, false, "", "", ""},
        {"plain lock", lock, false, "", "", ""},
        {"empty", {}, false, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ordinals::Inscription insc;
        ASSERT_EQ(ordinals::parse_inscription_script(c.script, insc), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(insc.content_type, c.type);
        EXPECT_EQ(insc.content, c.content);
        EXPECT_EQ(insc.owner_hash, h);
        EXPECT_EQ(ordinals::inscription_name(insc), c.map_name);
    }
}

TEST(OrdinalsEnvelope, NameFromMapElseFromJsonContent) {
    ordinals::Content c;
    ASSERT_TRUE(ordinals::content_from_script(
        inscription_script(ORD0, "application/json", R"({"name":"From JSON"})", {{"name", "From MAP"}}), c));
    EXPECT_EQ(c.name, "From MAP");
    ASSERT_TRUE(ordinals::content_from_script(inscription_script(ORD0, "application/json", R"({"name":"From JSON"})"), c));
    EXPECT_EQ(c.name, "From JSON");
    EXPECT_EQ(c.type, "application/json");
    ASSERT_TRUE(ordinals::content_from_script(inscription_script(ORD0, "text/plain", "name"), c));
    EXPECT_EQ(c.name, "");
    // An inscription without bytes is no content.
    EXPECT_FALSE(ordinals::content_from_script(inscription_script(ORD0, "text/plain", ""), c));
}

TEST(OrdinalsContent, SniffTypes) {
    struct Case {
        std::string bytes, type;
    };
    std::vector<Case> cases = {
        {"\x89PNG\r\n\x1a\n", "image/png"},
        {"\x89PNG\r\n\x1a", "application/octet-stream"},  // 7 bytes: too short for PNG
        {"\xFF\xD8\xFF", "image/jpeg"},
        {"\xFF\xD8", "application/octet-stream"},
        {std::string("RIFF\0\0\0\0WEBP", 12), "image/webp"},
        {"GIF89a", "image/gif"},
        {"%PDF-1.7", "application/pdf"},
        {"%PDF", "application/octet-stream"},
        {"{\"a\":1}", "application/octet-stream"},
        {"", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(ordinals::sniff_content_type(c.bytes), c.type) << core::to_hex(c.bytes);
}

namespace {

class ContentFetch : public WalletFixture {
protected:
    const std::string tx = txid('a');
    std::string host(const std::string& id) { return "/ord/content/" + id; }
    std::string files(const std::string& id) { return "/ord/api/files/inscriptions/" + id; }
    // WhatsOnChain's transaction JSON whose output 0 carries script.
    void woc_tx(const std::string& t, const core::Bytes& script) {
        services.json("/woc/tx/" + t, {{"txid", t}, {"vout", {{{"n", 0}, {"scriptPubKey", {{"hex", core::to_hex(script)}}}}}}});
    }
    // A raw transaction whose output 1 carries script.
    std::string raw_hex(const core::Bytes& script) {
        chain::TxInput in;
        in.txid = txid('9');
        in.unlocking_script = {0x51};
        std::vector<chain::TxInput> ins = {in};
        std::vector<chain::TxOutput> outs = {{1000, p2pkh(RECEIVE0)}, {1, script}};
        return core::to_hex(chain::serialize_tx(ins, outs, false));
    }
};

}  // namespace

TEST_F(ContentFetch, BareOriginIsAskedAsIndexZeroAndCachedAsGiven) {
    services.reply(host(tx + "_0"), 200, "\x89PNG\r\n\x1a\nDATA");
    ordinals::Content c;
    ASSERT_TRUE(ordinals::read_content(tx, true, true, c));
    EXPECT_EQ(c.type, "image/png");
    EXPECT_EQ(c.bytes, "\x89PNG\r\n\x1a\nDATA");
    EXPECT_EQ(tp.read("ord_cache/" + tx + ".bin"), "\x89PNG\r\n\x1a\nDATA");
    EXPECT_EQ(tp.read("ord_cache/" + tx + ".typ"), "image/png");
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + tx + "_0.bin")));
    // Read back from the cache: no further request.
    services.clear();
    ordinals::Content again;
    ASSERT_TRUE(ordinals::read_content(tx, true, true, again));
    EXPECT_EQ(again.bytes, c.bytes);
    EXPECT_TRUE(services.seen().empty());
}

TEST_F(ContentFetch, HostRepliesThatAreErrorsFallThrough) {
    struct Case {
        const char* name;
        std::string content_body;
        std::string files_body;
        std::string expect;
    };
    std::vector<Case> cases = {
        {"JSON error object", R"({"error":"not found"})", "GIF89a....", "GIF89a...."},
        {"JSON content without an error member", R"({"pic":"x"})", "unused", R"({"pic":"x"})"},
        {"empty body", "", "%PDF-1.4 x", "%PDF-1.4 x"},
        {"short text mentioning error", R"({"error)", "unused", R"({"error)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string origin = tx + "_" + std::to_string(++n);
        services.reply(host(origin), 200, c.content_body);
        services.reply(files(origin), 200, c.files_body);
        ordinals::Content got;
        ASSERT_TRUE(ordinals::fetch_ordinals_content(origin, got));
        EXPECT_EQ(got.bytes, c.expect);
        EXPECT_EQ(got.type, ordinals::sniff_content_type(c.expect));
    }
    ordinals::Content none;
    services.reply(host(tx + "_9"), 200, R"({"error":"x"})");
    services.reply(files(tx + "_9"), 500, "down");
    EXPECT_FALSE(ordinals::fetch_ordinals_content(tx + "_9", none));
}

TEST_F(ContentFetch, WhatsOnChainTransactionJsonThenHexThenRaw) {
    core::Bytes script = inscription_script(ORD0, "image/png", "\x89PNG-picture", {{"name", "Pic"}});
    struct Case {
        const char* name;
        bool json, hex, raw;
    };
    std::vector<Case> cases = {{"tx json", true, false, false}, {"tx hex", false, true, false}, {"tx raw", false, false, true}};
    char c_id = 'b';
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services.clear();
        std::string t = txid(c_id++);
        // Output 1 in the raw transactions; in the JSON the script stands at index 1 too.
        if (c.json)
            services.json("/woc/tx/" + t, {{"vout", {{{"n", 0}, {"scriptPubKey", {{"hex", "76a9"}}}},
                                                     {{"n", 1}, {"scriptPubKey", {{"hex", core::to_hex(script)}}}}}}});
        if (c.hex) services.reply("/woc/tx/" + t + "/hex", 200, raw_hex(script) + "\n");
        if (c.raw) services.reply("/woc/tx/" + t + "/raw", 200, "\"" + raw_hex(script) + "\"\r\n");
        ordinals::Content got;
        ASSERT_TRUE(ordinals::read_content(t + "_1", true, false, got));
        EXPECT_EQ(got.type, "image/png");  // from the envelope, not sniffed
        EXPECT_EQ(got.bytes, "\x89PNG-picture");
        EXPECT_EQ(ordinals::name_cache_read(t + "_1"), "Pic");
        // WhatsOnChain answered, so the ordinals host was never asked.
        EXPECT_EQ(services.count_prefix("/ord/"), 0u);
    }
}

TEST_F(ContentFetch, OrderFollowsTheOrdinalsFirstOption) {
    core::Bytes script = inscription_script(ORD0, "text/plain", "from chain");
    woc_tx(tx, script);
    services.reply(host(tx + "_0"), 200, "from host");
    ordinals::Content got;
    ASSERT_TRUE(ordinals::read_content(tx + "_0", true, false, got));
    EXPECT_EQ(got.bytes, "from chain");
    EXPECT_EQ(services.count(host(tx + "_0")), 0u);

    std::string other = txid('c');
    woc_tx(other, script);
    services.reply(host(other + "_0"), 200, "from host");
    ASSERT_TRUE(ordinals::read_content(other + "_0", true, true, got));
    EXPECT_EQ(got.bytes, "from host");
    EXPECT_EQ(services.count("/woc/tx/" + other), 0u);

    // WhatsOnChain first and empty-handed: the host is the last resort.
    std::string third = txid('d');
    services.reply(host(third + "_0"), 200, "host at last");
    ASSERT_TRUE(ordinals::read_content(third + "_0", true, false, got));
    EXPECT_EQ(got.bytes, "host at last");
    EXPECT_EQ(services.count("/woc/tx/" + third), 1u);
}

TEST_F(ContentFetch, NoNetworkOrNoOriginMeansCacheOnly) {
    services.reply(host(tx + "_0"), 200, "bytes");
    ordinals::Content got;
    EXPECT_FALSE(ordinals::read_content(tx + "_0", false, true, got));
    EXPECT_FALSE(ordinals::read_content("../../x", true, true, got));
    EXPECT_FALSE(ordinals::read_content("not an origin", true, true, got));
    EXPECT_TRUE(services.seen().empty());
    ordinals::content_cache_store(tx + "_0", "text/plain", "cached");
    ASSERT_TRUE(ordinals::read_content(tx + "_0", false, true, got));
    EXPECT_EQ(got.bytes, "cached");
    EXPECT_EQ(got.type, "text/plain");
}

TEST_F(ContentFetch, ContentAboveTheCacheLimitIsReturnedButNotCached) {
    std::string big(ordinals::MAX_CACHED_CONTENT + 1, 'x');
    std::string fits(ordinals::MAX_CACHED_CONTENT, 'y');
    services.reply(host(tx + "_0"), 200, big);
    services.reply(host(tx + "_1"), 200, fits);
    ordinals::Content got;
    ASSERT_TRUE(ordinals::read_content(tx + "_0", true, true, got));
    EXPECT_EQ(got.bytes.size(), big.size());
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + tx + "_0.bin")));
    ASSERT_TRUE(ordinals::read_content(tx + "_1", true, true, got));
    EXPECT_EQ(got.bytes.size(), fits.size());
    EXPECT_TRUE(core::file_exists(tp.path("ord_cache/" + tx + "_1.bin")));
}
