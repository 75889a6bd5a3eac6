// Reading inscriptions out of output scripts, sniffing content types, and the content
// fetch order against scripted services: cache, ordinals host, WhatsOnChain.
#include "ordinals/content.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "chain/tx.h"
#include "core/files.h"
#include "core/hex.h"
#include "ordinals/envelope.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

TEST(OrdinalsEnvelope, LayoutsThatCarryAnInscription) {
    core::Bytes lock = p2pkh(ABANDON_ORDINALS0);
    core::Bytes h;
    wallet::hash160_from_address(ABANDON_ORDINALS0, h);
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
    core::Bytes with_map = inscription_script(ABANDON_ORDINALS0, "application/json", "{}", {{"app", "ZuvAdudurero"}, {"name", "Dot"}});
    core::Bytes bare = envelope("text/plain", {"x"});
    core::Bytes gap = envelope("text/plain", {"x"});
    gap.push_back(0x61);  // OP_NOP between envelope and lock
    append(gap, lock);
    core::Bytes unterminated = lock;
    append(unterminated, envelope("text/plain", {"x"}));
    unterminated.pop_back();  // no OP_ENDIF
    core::Bytes truncated = inscription_script(ABANDON_ORDINALS0, "text/plain", std::string(300, 'a'));
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
        inscription_script(ABANDON_ORDINALS0, "application/json", R"({"name":"From JSON"})", {{"name", "From MAP"}}), c));
    EXPECT_EQ(c.name, "From MAP");
    ASSERT_TRUE(ordinals::content_from_script(inscription_script(ABANDON_ORDINALS0, "application/json", R"({"name":"From JSON"})"), c));
    EXPECT_EQ(c.name, "From JSON");
    EXPECT_EQ(c.type, "application/json");
    ASSERT_TRUE(ordinals::content_from_script(inscription_script(ABANDON_ORDINALS0, "text/plain", "name"), c));
    EXPECT_EQ(c.name, "");
    // An inscription without bytes is no content.
    EXPECT_FALSE(ordinals::content_from_script(inscription_script(ABANDON_ORDINALS0, "text/plain", ""), c));
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
    std::string error;
    std::string host(const std::string& id) { return "/ord/content/" + id; }
    // A transaction WhatsOnChain knows whose output 0 carries script; its txid.
    std::string woc_tx(const core::Bytes& script, char spends) {
        chain::TxInput in;
        in.txid = txid(spends);
        in.unlocking_script = {0x51};
        const core::Bytes raw = chain::serialize_tx({in}, {{1, script}}, false);
        services.raw_tx(chain::tx_id(raw), core::to_hex(raw));
        return chain::tx_id(raw);
    }
    // A raw transaction whose output 1 carries script.
    std::string raw_hex(const core::Bytes& script, char spends = '9') {
        chain::TxInput in;
        in.txid = txid(spends);
        in.unlocking_script = {0x51};
        std::vector<chain::TxInput> ins = {in};
        std::vector<chain::TxOutput> outs = {{1000, p2pkh(ABANDON_RECEIVE0)}, {1, script}};
        return core::to_hex(chain::serialize_tx(ins, outs, false));
    }
};

}  // namespace

TEST_F(ContentFetch, BareOriginIsAskedAsIndexZeroAndCachedAsGiven) {
    services.reply(host(tx + "_0"), 200, "\x89PNG\r\n\x1a\nDATA");
    ordinals::Content c;
    ASSERT_TRUE(ordinals::read_content(tx, true, true, c, error));
    EXPECT_EQ(c.type, "image/png");
    EXPECT_EQ(c.bytes, "\x89PNG\r\n\x1a\nDATA");
    EXPECT_EQ(tp.read("ord_cache/" + tx + ".bin"), "\x89PNG\r\n\x1a\nDATA");
    EXPECT_EQ(tp.read("ord_cache/" + tx + ".typ"), "image/png");
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + tx + "_0.bin")));
    // Read back from the cache: no further request.
    services.clear();
    ordinals::Content again;
    ASSERT_TRUE(ordinals::read_content(tx, true, true, again, error));
    EXPECT_EQ(again.bytes, c.bytes);
    EXPECT_TRUE(services.seen().empty());
}

TEST_F(ContentFetch, HostRepliesThatAreErrorsAreNoContent) {
    struct Case {
        const char* name;
        std::string body;
        bool content;
    };
    std::vector<Case> cases = {
        {"JSON error object", R"({"error":"not found"})", false},
        {"JSON content without an error member", R"({"pic":"x"})", true},
        {"empty body", "", false},
        {"short text mentioning error", R"({"error)", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string origin = tx + "_" + std::to_string(++n);
        services.reply(host(origin), 200, c.body);
        ordinals::Content got;
        EXPECT_EQ(ordinals::fetch_ordinals_content(origin, got, error), c.content);
        if (c.content) {
            EXPECT_EQ(got.bytes, c.body);
        }
    }
}

TEST_F(ContentFetch, ChainContentComesFromTheRawTransactionNeverItsJson) {
    core::Bytes script = inscription_script(ABANDON_ORDINALS0, "image/png", "\x89PNG-picture", {{"name", "Pic"}});
    const std::string hex = raw_hex(script);
    const std::string t = chain::tx_id(core::from_hex(hex));
    services.raw_tx(t, hex);
    ordinals::Content got;
    ASSERT_TRUE(ordinals::read_content(t + "_1", true, false, got, error)) << error;
    EXPECT_EQ(got.type, "image/png");  // from the envelope, not sniffed
    EXPECT_EQ(got.bytes, "\x89PNG-picture");
    EXPECT_EQ(ordinals::name_cache_read(t + "_1"), "Pic");
    // WhatsOnChain answered, so the ordinals host was never asked.
    EXPECT_EQ(services.count_prefix("/ord/"), 0u);

    // Bytes that are not the transaction asked for are no answer, whatever they carry.
    const std::string liar = txid('b');
    services.raw_tx(liar, hex);
    EXPECT_FALSE(ordinals::read_content(liar + "_1", true, false, got, error));
    EXPECT_EQ(services.raw_asked(liar), 1u);

    // Transaction JSON alone is not read for a script: the service cuts long ones there.
    const std::string e = txid('e');
    services.json("/woc/tx/" + e, {{"vout", {{{"n", 0}, {"scriptPubKey", {{"hex", core::to_hex(script)}}}}}}});
    EXPECT_FALSE(ordinals::read_content(e + "_0", true, false, got, error));
    EXPECT_EQ(services.count("/woc/tx/" + e), 0u);
    // Nor a cut script, where JSON is read for one.
    core::Bytes cut;
    EXPECT_FALSE(ordinals::script_from_tx_json(
        {{"vout", {{{"n", 0}, {"scriptPubKey", {{"hex", core::to_hex(script)}, {"isTruncated", true}}}}}}}, 0, cut));
}

TEST_F(ContentFetch, OrderFollowsTheOrdinalsFirstOption) {
    core::Bytes script = inscription_script(ABANDON_ORDINALS0, "text/plain", "from chain");
    const std::string first = woc_tx(script, '1');
    services.reply(host(first + "_0"), 200, "from host");
    ordinals::Content got;
    ASSERT_TRUE(ordinals::read_content(first + "_0", true, false, got, error));
    EXPECT_EQ(got.bytes, "from chain");
    EXPECT_EQ(services.count(host(first + "_0")), 0u);

    const std::string other = woc_tx(script, '2');
    services.reply(host(other + "_0"), 200, "from host");
    ASSERT_TRUE(ordinals::read_content(other + "_0", true, true, got, error));
    EXPECT_EQ(got.bytes, "from host");
    EXPECT_EQ(services.raw_asked(other), 0u);

    // WhatsOnChain first and empty-handed: the host is the last resort.
    std::string third = txid('d');
    services.reply(host(third + "_0"), 200, "host at last");
    ASSERT_TRUE(ordinals::read_content(third + "_0", true, false, got, error));
    EXPECT_EQ(got.bytes, "host at last");
    EXPECT_EQ(services.raw_asked(third), 1u);
}

TEST_F(ContentFetch, NoNetworkOrNoOriginMeansCacheOnly) {
    services.reply(host(tx + "_0"), 200, "bytes");
    ordinals::Content got;
    EXPECT_FALSE(ordinals::read_content(tx + "_0", false, true, got, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ordinals::read_content("../../x", true, true, got, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ordinals::read_content("not an origin", true, true, got, error));
    EXPECT_TRUE(services.seen().empty());
    ordinals::content_cache_store(tx + "_0", "text/plain", "cached");
    ASSERT_TRUE(ordinals::read_content(tx + "_0", false, true, got, error));
    EXPECT_EQ(got.bytes, "cached");
    EXPECT_EQ(got.type, "text/plain");
}

TEST_F(ContentFetch, ContentPastTheLimitIsRefusedAndNotCached) {
    const std::string at_limit(ordinals::MAX_CONTENT_BYTES, 'y');
    const std::string past_limit(ordinals::MAX_CONTENT_BYTES + 1, 'x');
    services.reply(host(tx + "_0"), 200, past_limit);
    services.reply(host(tx + "_1"), 200, at_limit);
    ordinals::Content got;

    EXPECT_FALSE(ordinals::read_content(tx + "_0", true, true, got, error));
    EXPECT_EQ(error, ordinals::CONTENT_TOO_LARGE);
    EXPECT_TRUE(got.bytes.empty());
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + tx + "_0.bin")));
    // Every source serves the same bytes: none was asked to send them again.
    EXPECT_EQ(services.count_prefix("/woc/"), 0u);

    ASSERT_TRUE(ordinals::read_content(tx + "_1", true, true, got, error)) << error;
    EXPECT_EQ(got.bytes.size(), at_limit.size());
    EXPECT_TRUE(core::file_exists(tp.path("ord_cache/" + tx + "_1.bin")));
}

TEST_F(ContentFetch, AnEndlessContentIsAbandonedAtTheLimit) {
    constexpr std::size_t ENDLESS = std::size_t{1} << 30;
    struct Progress {
        std::mutex m;
        std::condition_variable cv;
        std::size_t written = 0;
        bool finished = false;
    };
    auto progress = std::make_shared<Progress>();
    services.on(host(tx + "_0"), [progress](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("image/png", [progress](std::size_t, httplib::DataSink& sink) {
            const std::string chunk(64 * 1024, 'p');
            std::size_t sent = 0;
            while (sent < ENDLESS && sink.write(chunk.data(), chunk.size())) sent += chunk.size();
            if (sent >= ENDLESS) sink.done();
            {
                std::lock_guard<std::mutex> lock(progress->m);
                progress->written = sent;
                progress->finished = true;
            }
            progress->cv.notify_all();
            return sent >= ENDLESS;
        });
    });
    ordinals::Content got;
    EXPECT_FALSE(ordinals::read_content(tx + "_0", true, true, got, error));
    EXPECT_EQ(error, ordinals::CONTENT_TOO_LARGE);
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + tx + "_0.bin")));
    std::unique_lock<std::mutex> lock(progress->m);
    ASSERT_TRUE(progress->cv.wait_for(lock, std::chrono::seconds(20), [&] { return progress->finished; }));
    // The limit plus what the socket buffers held; far from the whole stream.
    EXPECT_LT(progress->written, 4 * ordinals::MAX_CONTENT_BYTES);
}

TEST_F(ContentFetch, AnInscriptionPastTheLimitInTheTransactionIsRefused) {
    // WhatsOnChain first: no transaction JSON, the raw transaction carries the inscription.
    const std::string big_hex =
        raw_hex(inscription_script(ABANDON_ORDINALS0, "image/png", std::string(ordinals::MAX_CONTENT_BYTES + 1, 'b')));
    const std::string fits_hex =
        raw_hex(inscription_script(ABANDON_ORDINALS0, "image/png", std::string(ordinals::MAX_CONTENT_BYTES, 'f')));
    const std::string big = chain::tx_id(core::from_hex(big_hex)), fits = chain::tx_id(core::from_hex(fits_hex));
    services.raw_tx(big, big_hex);
    services.raw_tx(fits, fits_hex);
    ordinals::Content got;
    EXPECT_FALSE(ordinals::read_content(big + "_1", true, false, got, error));
    EXPECT_EQ(error, ordinals::CONTENT_TOO_LARGE);
    EXPECT_FALSE(core::file_exists(tp.path("ord_cache/" + big + "_1.bin")));
    EXPECT_EQ(services.count_prefix("/ord/"), 0u);  // the host was not asked for it again

    ASSERT_TRUE(ordinals::read_content(fits + "_1", true, false, got, error)) << error;
    EXPECT_EQ(got.bytes.size(), ordinals::MAX_CONTENT_BYTES);
    EXPECT_TRUE(core::file_exists(tp.path("ord_cache/" + fits + "_1.bin")));
}
