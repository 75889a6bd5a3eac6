// A hostile writer on the devnet: Mallory has a funded wallet, a registered alias and an
// artwork of her own, and posts crafted records and transactions to the gallery's
// addresses. Alice's title, display and sale to Bob, every other frame and the walls'
// text must come through as if she had not.
#include <gtest/gtest.h>

#include <algorithm>

#include "chain/tx.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ledger/pairs.h"
#include "ledger/records.h"
#include "ledger/walls.h"
#include "tests/support/devnet.h"
#include "tests/support/party.h"
#include "tests/support/temp_platform.h"

using testing_support::connect_instance;
using testing_support::Devnet;
using testing_support::json_of;
using testing_support::post_as;
using testing_support::post_raw_as;
using testing_support::run_program;
using testing_support::sign_as;

namespace {

constexpr int FRAME = 4;

std::string first_line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }

struct Person {
    std::string wallet, instance;
    core::Json shown;  // wendrel show --json
    std::string key() const { return shown.value("identity_key", std::string()); }
};

class HostileOnDevnet : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    Person alice, bob, mallory;
    core::Json art;  // alice's minted artwork: pic, cert, pair_txid, sha256

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        open(alice, "alice", {300000});
        open(bob, "bob", {100000, 100000});
        open(mallory, "mallory", {1500000, 1500000, 100000});
        // Connected once all three wallets exist: with one alone, the gallery binds it unasked.
        for (Person* p : {&alice, &bob, &mallory}) ASSERT_EQ(connect_instance(p->instance, p->wallet, tp.root()), 0);
        if (HasFatalFailure()) return;
        art = mint(alice, "Dusk");
        dn.mine();
    }

    void open(Person& p, const std::string& alias, const std::vector<std::int64_t>& coins) {
        p.wallet = first_line(run_program("wendrel", {"create", "--name", alias}).out);
        p.shown = json_of(run_program("wendrel", {"show", p.wallet, "--json"}).out);
        for (auto sats : coins) ASSERT_FALSE(dn.fund(p.shown["address"], sats, true).empty());
        ASSERT_EQ(run_program("wendrel", {"paymail", alias, "--wallet", p.wallet}).exit_code, 0);
        p.instance = tp.root() + "/gallery-" + alias;
    }

    core::Json mint(const Person& p, const std::string& title) {
        const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'q') + title;
        const std::string file = tp.root() + "/" + core::to_hex(core::sha256(title)).substr(0, 8) + ".png";
        core::write_file(file, png);
        auto r = run_program("wendrel", {"mint", "--image", file, "--title", title, "--wallet", p.wallet, "--json"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return json_of(r.out);
    }

    // One quenvale-cli command as p; the reply.
    core::Json cli(const Person& p, std::vector<std::string> args) {
        args.insert(args.begin(), {"--instance", p.instance});
        args.push_back("--json");
        return json_of(run_program("quenvale-cli", args).out);
    }
    std::string step(const Person& p, const std::vector<std::string>& args) {
        const core::Json j = cli(p, args);
        EXPECT_EQ(j.value("ok", false), true) << args[0] << ": " << j.dump();
        return j.value("result", std::string());
    }
    core::Json walls(const Person& p) {
        const core::Json j = cli(p, {"walls"});
        EXPECT_EQ(j.value("status", std::string()), "success") << j.dump();
        return j.value("frames", core::Json::array());
    }

    // A record exactly as Mallory crafts it, signed with her key, carried by a transaction
    // paying 1 sat to each address.
    std::string forge(core::Json record, const std::vector<std::string>& to) {
        record["protocol"] = "OV-Art";
        record["location"] = "art";
        if (!record.contains("handle")) record["handle"] = "mallory";
        if (!record.contains("actor")) record["actor"] = record["handle"];
        EXPECT_TRUE(sign_as(mallory.instance, record));
        std::vector<std::pair<std::string, std::int64_t>> pays;
        for (const auto& a : to) pays.emplace_back(a, 1);
        return post_raw_as(mallory.instance, ledger::record_text(record), pays);
    }
    // The record a transaction carries, byte for byte, posted again by Mallory.
    std::string replay(const std::string& txid, const std::vector<std::string>& to) {
        core::Json tx = dn.get("/woc/v1/bsv/main/tx/" + txid);
        core::Json record;
        EXPECT_TRUE(ledger::extract_record(tx, record)) << tx.dump();
        std::vector<std::pair<std::string, std::int64_t>> pays;
        for (const auto& a : to) pays.emplace_back(a, 1);
        return post_raw_as(mallory.instance, ledger::record_text(record), pays);
    }
    static std::string frame_address(int n) { return ledger::frame_row(n).watch_address; }
    std::string pic() const { return art.value("pic", std::string()).substr(0, 64); }
    std::string cert() const { return art.value("cert", std::string()).substr(0, 64); }
};

bool ok(const std::string& result) { return result.rfind("success: ", 0) == 0; }

// An offer as Mallory would fund it: inputs that are not hers to give.
std::string junk_offer(const std::string& first_coin_txid, std::uint32_t vout) {
    std::vector<chain::TxInput> ins(3);
    ins[0].txid = first_coin_txid;
    ins[0].vout = vout;
    ins[1].txid = std::string(64, 'd');
    ins[2].txid = std::string(64, 'e');
    ins[2].unlocking_script = {0x01, 0x51};
    return core::to_hex(chain::serialize_tx(ins, {{1000, core::from_hex("76a914" + std::string(40, '1') + "88ac")}}, false));
}

}  // namespace

TEST_F(HostileOnDevnet, TitlesAndSalesHoldAgainstForgedPairsReplaysJunkOffersAndFutureAsks) {
    const auto& p = core::profile();
    const std::int64_t now = core::now_seconds();
    const core::Json pair = {{"type", "art_pair"}, {"pic", pic()}, {"cert", cert()}, {"sha256", art["sha256"]},
                             {"owner", mallory.key()}};
    // A pair for Alice's piece signed by Mallory, dated long ago; another dated now; and a
    // byte-identical replay of Alice's own pair.
    core::Json early = pair;
    early["ts"] = 1000;
    ASSERT_TRUE(ok(forge(early, {p.ocp_address, p.oao_address})));
    core::Json current = pair;
    current["ts"] = now;
    ASSERT_TRUE(ok(forge(current, {p.ocp_address, p.oao_address})));
    ASSERT_TRUE(ok(replay(art["pair_txid"], {p.ocp_address, p.oao_address})));
    dn.mine();

    const std::string placed =
        step(alice, {"place", "--frame", std::to_string(FRAME), "--origin", art["pic"], "--weeks", "1", "--price", "5000"});
    ASSERT_TRUE(ok(placed)) << placed;
    dn.mine();
    core::Json frames = walls(bob);
    ASSERT_EQ(frames[FRAME - 1]["shown"], true) << frames[FRAME - 1].dump();
    EXPECT_EQ(frames[FRAME - 1]["owner"], alice.key());
    EXPECT_EQ(frames[FRAME - 1]["handle"], "alice");

    // Offers from someone nobody accepted, on a coin that does not exist and on one that
    // is spent; an ask dated in the year 9999 and one dated fifty minutes ahead.
    const std::string spot = ledger::frame_row(FRAME).spot;
    const core::Json pair_tx = dn.get("/woc/v1/bsv/main/tx/" + art["pair_txid"].get<std::string>());
    ASSERT_TRUE(pair_tx.contains("vin")) << pair_tx.dump();
    const std::string spent_txid = pair_tx["vin"][0].value("txid", std::string());  // spent by the pair
    const auto spent_vout = pair_tx["vin"][0].value("vout", 0u);
    for (const std::string& offer : {junk_offer(std::string(64, 'f'), 0), junk_offer(spent_txid, spent_vout)}) {
        const std::string r = post_as(mallory.instance,
                                      {{"type", "art_gfunded"}, {"spot", spot}, {"offer", offer},
                                       {"offer_sha", ledger::sha256_hex(offer)}},
                                      FRAME, "", 0);
        ASSERT_TRUE(ok(r)) << r;
    }
    for (std::int64_t ts : {std::int64_t{253402300000}, now + 50 * 60}) {
        const std::string r = post_as(mallory.instance,
                                      {{"type", "art_gask"}, {"spot", spot}, {"pic", pic()}, {"cert", cert()},
                                       {"price_sats", 5000}, {"buyer_ord", mallory.shown["ordinals_address"]},
                                       {"buyer", mallory.key()}, {"ts", ts}},
                                      FRAME, "", 0);
        ASSERT_TRUE(ok(r)) << r;
    }
    dn.mine();
    frames = walls(bob);
    EXPECT_EQ(frames[FRAME - 1]["funded"].size(), 0u) << frames[FRAME - 1].dump();
    EXPECT_EQ(frames[FRAME - 1]["sold"], false);

    // Bob asks after Mallory's ask in the chain: his is the latest, whatever her clock said.
    ASSERT_TRUE(ok(step(bob, {"ask", "--frame", std::to_string(FRAME)})));
    dn.mine();
    ASSERT_TRUE(ok(step(alice, {"accept", "--frame", std::to_string(FRAME)})));
    dn.mine();
    frames = walls(bob);
    ASSERT_EQ(frames[FRAME - 1]["accepts"].size(), 1u) << frames[FRAME - 1].dump();
    EXPECT_EQ(frames[FRAME - 1]["accepts"][0]["buyer"], bob.key());
    ASSERT_TRUE(ok(step(bob, {"pay", "--frame", std::to_string(FRAME)})));
    dn.mine();
    const std::string sold = step(alice, {"complete", "--frame", std::to_string(FRAME)});
    ASSERT_TRUE(ok(sold)) << sold;
    dn.mine();

    // The sale's title and Alice's pair posted again: the title stays with Bob.
    ASSERT_TRUE(ok(replay(sold.substr(9, 64), {p.oao_address})));
    ASSERT_TRUE(ok(replay(art["pair_txid"], {p.ocp_address, p.oao_address})));
    dn.mine();
    ledger::reset_wall_caches();
    std::vector<ledger::TitleEntry> title;
    ASSERT_EQ(ledger::title_chain(pic(), title), "");
    ASSERT_EQ(title.size(), 2u);
    EXPECT_EQ(title.front().txid, art["pair_txid"]);
    EXPECT_EQ(title.back().owner, bob.key());
    const core::Json arts = cli(bob, {"arts"});
    EXPECT_NE(arts.dump().find(pic()), std::string::npos) << arts.dump();
}

TEST_F(HostileOnDevnet, DisplaysCannotBeSquattedAndHostileDataCostsOneRecord) {
    const auto& p = core::profile();
    ASSERT_TRUE(ok(step(alice, {"place", "--frame", std::to_string(FRAME), "--origin", art["pic"], "--weeks", "1"})));
    const core::Json own = mint(mallory, "Evil\" by Nobody  99 sats \u202eEVIL");
    dn.mine();

    const std::int64_t now = core::now_seconds();
    auto show = [&](int frame, const std::string& pic, const std::string& cert, std::int64_t ts) {
        return core::Json{{"type", "art_show"}, {"spot", ledger::frame_row(frame).spot}, {"pic", pic}, {"cert", cert},
                          {"sha256", own["sha256"]}, {"price", "-"}, {"pic_utxo", pic}, {"cert_utxo", cert},
                          {"pay_addr", mallory.shown["address"]}, {"ts", ts}, {"exp", ts + 604800}};
    };
    const std::string fee = p.placement_fee_address;
    // Her own piece on a free frame without the fee, and on Alice's frame with it; Alice's
    // piece on another frame; a display dated in the year 9999.
    EXPECT_TRUE(ok(post_as(mallory.instance, show(5, own["pic"], own["cert"], now), 5, "", 0)));
    EXPECT_TRUE(ok(post_as(mallory.instance, show(FRAME, own["pic"], own["cert"], now), FRAME, fee, 10000)));
    EXPECT_TRUE(ok(post_as(mallory.instance, show(6, art["pic"], art["cert"], now), 6, fee, 10000)));
    EXPECT_TRUE(ok(post_as(mallory.instance, show(7, own["pic"], own["cert"], 253402000000), 7, fee, 10000)));
    // One record with a 20 000-character actor to every gallery address, and 3 MB to frame 8.
    std::vector<std::string> everywhere = {p.ocp_address, p.oao_address};
    for (int f = 1; f <= ledger::FRAME_COUNT; ++f) everywhere.push_back(frame_address(f));
    const std::string long_actor(20000, 'm');
    ASSERT_TRUE(ok(forge({{"type", "art_gask"}, {"spot", "as1"}, {"handle", long_actor}, {"ts", now}}, everywhere)));
    const std::string large = post_raw_as(mallory.instance, std::string(3 * 1024 * 1024, 'x'), {{frame_address(8), 1}});
    ASSERT_TRUE(ok(large)) << large;
    dn.mine();

    core::Json frames = walls(bob);
    ASSERT_EQ(frames.size(), 10u);
    for (const auto& f : frames) EXPECT_EQ(f["error"], "") << f.dump();
    EXPECT_EQ(frames[FRAME - 1]["pic"], pic());
    EXPECT_EQ(frames[FRAME - 1]["owner"], alice.key());
    for (int f : {5, 6, 7, 8}) EXPECT_EQ(frames[f - 1]["shown"], false) << frames[f - 1].dump();

    // Her piece placed as anyone would: its title cannot fake the rest of the walls line.
    ASSERT_TRUE(ok(step(mallory, {"place", "--frame", "9", "--origin", own["pic"], "--weeks", "1"})));
    dn.mine();
    const auto text = run_program("quenvale-cli", {"--instance", bob.instance, "walls"});
    ASSERT_EQ(text.exit_code, 0) << text.out << text.err;
    EXPECT_EQ(text.out.find("\u202e"), std::string::npos);
    EXPECT_NE(text.out.find(R"("Evil\" by Nobody  99 sats EVIL" by "")"), std::string::npos) << text.out;

    // An architect's clear takes Alice's display down; the frames Mallory tried to squat
    // take a real placement.
    const core::Json role = dn.post("/devnet/identity", {{"pubkey", mallory.key()}, {"role", "architect"}});
    ASSERT_EQ(role.value("role", std::string()), "architect") << role.dump();
    ASSERT_TRUE(ok(post_as(mallory.instance, {{"type", "art_gclear"}, {"spot", ledger::frame_row(FRAME).spot},
                                              {"pic", pic()}},
                           FRAME, "", 0)));
    dn.mine();
    EXPECT_EQ(walls(bob)[FRAME - 1]["shown"], false);
    const std::string again = step(alice, {"place", "--frame", "5", "--origin", art["pic"], "--weeks", "1"});
    EXPECT_TRUE(ok(again)) << again;
}
