// A whole sale on the devnet between two wallets, each step a separate quenvale-cli
// process on its own gallery instance: the seller's display is posted, the buyer asks,
// the seller accepts, the buyer pays, the seller completes. The devnet validates every
// transaction; afterwards the artwork and certificate sit at the buyer's ordinals
// address, the seller and the title trail are paid and the title chain names the buyer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "chain/ord_index.h"
#include "chain/reservations.h"
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
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::connect_instance;
using testing_support::post_as;
using testing_support::run_program;

namespace {

std::string line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }


// The output of a devnet transaction paying address, or null.
const core::Json* output_to(const core::Json& tx, const std::string& address, std::size_t from = 0) {
    if (!tx.contains("vout") || !tx["vout"].is_array()) return nullptr;
    for (std::size_t i = from; i < tx["vout"].size(); ++i) {
        const core::Json& o = tx["vout"][i];
        const core::Json spk = o.value("scriptPubKey", core::Json::object());
        if (spk.contains("addresses") && spk["addresses"].is_array())
            for (const auto& a : spk["addresses"])
                if (a == address) return &o;
    }
    return nullptr;
}

std::int64_t sats_of(const core::Json& output) {
    return static_cast<std::int64_t>(output["value"].get<double>() * 1e8 + 0.5);
}


constexpr int FRAME = 4;

// Two wallets (seller and buyer), each connected to its own gallery instance, and the
// seller's minted artwork on display at FRAME.
class SaleOnDevnet : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    core::Json a, b, m;
    std::string pic, cert, seller, buyer;

    // buyer_coins coins of buyer_sats each go to the buyer; the picture has picture_bytes
    // bytes; unless place_later, the display is posted here.
    void set_up(std::int64_t price, int buyer_coins, std::int64_t buyer_sats, std::size_t picture_bytes = 308,
                bool place_later = false) {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        ledger::reset_pair_caches();

        // Seller: a wallet with a paymail and a minted artwork, certificate and pair.
        const std::string alice = line(run_program("wendrel", {"create", "--name", "Alice"}).out);
        a = json_of(run_program("wendrel", {"show", alice, "--json"}).out);
        ASSERT_FALSE(dn.fund(a["address"], 200000, true).empty());
        ASSERT_EQ(run_program("wendrel", {"paymail", "alice", "--wallet", alice}).exit_code, 0);
        const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(picture_bytes - 8, 'q');
        core::write_file(tp.root() + "/pic.png", png);
        auto minted = run_program("wendrel", {"mint", "--image", tp.root() + "/pic.png", "--title", "Dusk",
                                              "--artist", "Ada", "--wallet", alice, "--json"});
        ASSERT_EQ(minted.exit_code, 0) << minted.err;
        m = json_of(minted.out);
        pic = m["pic"];
        cert = m["cert"];

        // Buyer: a second wallet with a paymail and money.
        const std::string bob = line(run_program("wendrel", {"create", "--name", "Bob"}).out);
        b = json_of(run_program("wendrel", {"show", bob, "--json"}).out);
        for (int i = 0; i < buyer_coins; ++i) ASSERT_FALSE(dn.fund(b["address"], buyer_sats, true).empty());
        ASSERT_EQ(run_program("wendrel", {"paymail", "bob", "--wallet", bob}).exit_code, 0);
        dn.mine();

        seller = tp.root() + "/gallery-alice";
        buyer = tp.root() + "/gallery-bob";
        ASSERT_EQ(connect_instance(seller, alice, tp.root()), 0);
        ASSERT_EQ(connect_instance(buyer, bob, tp.root()), 0);

        if (place_later) return;
        // The display, posted by the seller's identity as the place step would.
        wallet::init_app_binding("Quenvale", seller);
        ASSERT_TRUE(wallet::load_wallet());
        const std::int64_t now = core::now_seconds();
        core::Json show = {{"protocol", "OV-Art"}, {"type", "art_show"}, {"location", "art"},
                           {"spot", ledger::frame_row(FRAME).spot}, {"pic", pic}, {"cert", cert},
                           {"sha256", m["sha256"]}, {"price", std::to_string(price)}, {"pic_utxo", pic},
                           {"cert_utxo", cert}, {"pay_addr", a["address"]}, {"ts", now - 5},
                           {"exp", now - 5 + 604800}};
        const std::string posted = ledger::post_record(show, ledger::frame_row(FRAME).watch_address,
                                                       core::profile().placement_fee_address, 10000);
        ASSERT_EQ(posted.rfind("success: ", 0), 0u) << posted;
        wallet::forget_wallet();
    }

    // One quenvale-cli step that must succeed; its result text.
    std::string step(const std::string& instance, std::vector<std::string> args) {
        args.insert(args.begin(), {"--instance", instance});
        args.push_back("--json");
        auto r = run_program("quenvale-cli", args);
        core::Json j = json_of(r.out);
        EXPECT_EQ(r.exit_code, 0) << args[2] << ": " << r.out << r.err;
        EXPECT_EQ(j.value("ok", false), true) << args[2] << ": " << r.out;
        return j.value("result", std::string());
    }
    // The result text of a step expected to fail.
    std::string refused(const std::string& instance, const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--instance", instance};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back("--json");
        auto r = run_program("quenvale-cli", all);
        EXPECT_NE(r.exit_code, 0) << r.out;
        return json_of(r.out).value("result", std::string());
    }
    std::vector<std::string> buyer_locks() {
        wallet::init_app_binding("Quenvale", buyer);
        EXPECT_TRUE(wallet::load_wallet());
        std::vector<std::string> locks;
        std::string error;
        EXPECT_TRUE(chain::read_offer_locks(locks, error)) << error;
        wallet::forget_wallet();
        return locks;
    }
};

}  // namespace

TEST_F(SaleOnDevnet, AskAcceptPayCompleteMovesTheArtworkAndPaysEveryone) {
    constexpr std::int64_t PRICE = 1000;
    set_up(PRICE, 1, 200000);
    if (HasFatalFailure()) return;
    const std::string frame = std::to_string(FRAME);
    // A buyer without an accept cannot pay.
    EXPECT_EQ(refused(buyer, {"pay", "--frame", frame}), "error: the owner has not accepted this ask yet.");

    ASSERT_EQ(step(buyer, {"ask", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(seller, {"accept", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    // The buyer's one coin goes into the offer, leaving nothing to post it with: the
    // payment fails and the offer's coins are free again.
    EXPECT_NE(refused(buyer, {"pay", "--frame", frame}).find("need a bit more BSV"), std::string::npos);
    EXPECT_TRUE(buyer_locks().empty());
    ASSERT_FALSE(dn.fund(b["address"], 50000, true).empty());
    dn.mine();
    ASSERT_EQ(step(buyer, {"pay", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();

    // A third identity posts a newer funded record: the buyer's offer with the artwork
    // redirected to itself. Nobody accepted it, so it is no offer at all.
    const std::string eve = line(run_program("wendrel", {"create", "--name", "Eve"}).out);
    core::Json e = json_of(run_program("wendrel", {"show", eve, "--json"}).out);
    ASSERT_FALSE(dn.fund(e["address"], 50000, true).empty());
    ASSERT_EQ(run_program("wendrel", {"paymail", "eve", "--wallet", eve}).exit_code, 0);
    ASSERT_EQ(connect_instance(tp.root() + "/gallery-eve", eve, tp.root()), 0);
    {
        ledger::reset_wall_caches();
        const ledger::SpotLoad spot = ledger::load_spot(FRAME - 1, core::now_seconds());
        ASSERT_EQ(spot.funded.size(), 1u) << spot.error;
        std::vector<chain::TxInput> ins;
        std::vector<chain::TxOutput> outs;
        ASSERT_TRUE(chain::parse_tx(core::from_hex(spot.funded[0].offer), ins, outs));
        core::Bytes eve_hash;
        ASSERT_TRUE(wallet::hash160_from_address(e["ordinals_address"].get<std::string>(), eve_hash));
        outs[0].script = outs[1].script = wallet::p2pkh_script(eve_hash);
        const std::string hostile = core::to_hex(chain::serialize_tx(ins, outs, false));
        wallet::init_app_binding("Quenvale", tp.root() + "/gallery-eve");
        ASSERT_TRUE(wallet::load_wallet());
        core::Json funded = {{"protocol", "OV-Art"}, {"type", "art_gfunded"}, {"location", "art"},
                             {"spot", ledger::frame_row(FRAME).spot}, {"ts", core::now_seconds() + 2},
                             {"offer_sha", core::to_hex(core::sha256(hostile))}, {"offer", hostile}};
        const std::string posted = ledger::post_record(funded, ledger::frame_row(FRAME).watch_address, "", 0);
        ASSERT_EQ(posted.rfind("success: ", 0), 0u) << posted;
        wallet::forget_wallet();
        ledger::reset_wall_caches();
        const ledger::SpotLoad now_funded = ledger::load_spot(FRAME - 1, core::now_seconds());
        ASSERT_EQ(now_funded.funded.size(), 1u);
        EXPECT_NE(now_funded.funded.back().offer, hostile);
    }
    dn.mine();
    const std::string done = step(seller, {"complete", "--frame", frame});
    ASSERT_EQ(done.rfind("success: ", 0), 0u) << done;
    const std::string sale_txid = done.substr(9, 64);

    const core::Json sale = dn.get("/woc/v1/bsv/main/tx/" + sale_txid);
    ASSERT_FALSE(sale.is_null());
    // Inputs 0 and 1 are the artwork and certificate coins; outputs 0 and 1 deliver them.
    ASSERT_GE(sale["vin"].size(), 3u);
    EXPECT_EQ(sale["vin"][0]["txid"].get<std::string>() + "_" + std::to_string(sale["vin"][0]["vout"].get<int>()), pic);
    EXPECT_EQ(sale["vin"][1]["txid"].get<std::string>() + "_" + std::to_string(sale["vin"][1]["vout"].get<int>()), cert);
    const std::string bob_ord = b["ordinals_address"];
    const core::Json* art_out = output_to(sale, bob_ord);
    ASSERT_NE(art_out, nullptr);
    EXPECT_EQ(sats_of(*art_out), 1);
    const core::Json* cert_out = output_to(sale, bob_ord, 1);
    ASSERT_NE(cert_out, nullptr);
    EXPECT_EQ(sats_of(*cert_out), 1);
    const core::Json* seller_out = output_to(sale, a["address"]);
    ASSERT_NE(seller_out, nullptr);
    EXPECT_EQ(sats_of(*seller_out), PRICE - PRICE / 50);
    const core::Json* fee_out = output_to(sale, core::profile().sale_fee_address);
    ASSERT_NE(fee_out, nullptr);
    EXPECT_EQ(sats_of(*fee_out), PRICE / 50);
    const core::Json* oao_out = output_to(sale, core::profile().oao_address);
    ASSERT_NE(oao_out, nullptr);
    EXPECT_EQ(sats_of(*oao_out), 1);

    // The ordinals index follows the artwork to the buyer.
    const core::Json txo = dn.get("/ord/api/txos/" + sale_txid + "_0");
    ASSERT_TRUE(txo.is_object());
    EXPECT_EQ(txo.value("owner", std::string()), bob_ord) << txo.dump();
    chain::OrdTxo read;
    ASSERT_TRUE(chain::ord_txo_from_json(txo, read));
    EXPECT_EQ(read.origin, pic) << txo.dump();

    // The title chain, read afresh, ends with the buyer.
    ledger::reset_wall_caches();
    ledger::reset_pair_caches();
    std::vector<ledger::TitleEntry> chain_entries;
    ASSERT_EQ(ledger::title_chain(pic, chain_entries), "");
    ASSERT_FALSE(chain_entries.empty());
    EXPECT_EQ(chain_entries.back().owner, b["identity_key"].get<std::string>());
}

TEST_F(SaleOnDevnet, OfferTooLargeToPostIsRefusedWithoutLocks) {
    // 300-sat coins only: paying 70000 would take about 250 inputs, an offer whose hex
    // no longer fits one record.
    set_up(70000, 260, 300);
    if (HasFatalFailure()) return;
    const std::string frame = std::to_string(FRAME);
    ASSERT_EQ(step(buyer, {"ask", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(seller, {"accept", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    EXPECT_EQ(refused(buyer, {"pay", "--frame", frame}), "error: use fewer, larger coins.");
    EXPECT_TRUE(buyer_locks().empty());
}

namespace {

// A payment of the buyer's larger than its coins outside the offer; the record lands on
// another frame's address so the sale's frame keeps its history.
std::string pay_beyond_free_coins(const std::string& buyer) {
    return post_as(buyer, {{"type", "art_note"}, {"spot", ledger::frame_row(FRAME + 1).spot}}, FRAME + 1,
                   core::profile().placement_fee_address, 150000);
}

}  // namespace

TEST_F(SaleOnDevnet, AnArchitectsClearFreesTheBuyersOfferCoinsAtTheBuyersNextWallsRead) {
    set_up(1000, 2, 100000);
    if (HasFatalFailure()) return;
    const std::string frame = std::to_string(FRAME);
    ASSERT_EQ(step(buyer, {"ask", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(seller, {"accept", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(buyer, {"pay", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    const std::vector<std::string> held = buyer_locks();
    ASSERT_FALSE(held.empty());

    const std::string short_of_coins = pay_beyond_free_coins(buyer);
    EXPECT_NE(short_of_coins.find("insufficient funds"), std::string::npos) << short_of_coins;

    // A curator with the architect role clears the display.
    const std::string cara = line(run_program("wendrel", {"create", "--name", "Cara"}).out);
    core::Json c = json_of(run_program("wendrel", {"show", cara, "--json"}).out);
    ASSERT_FALSE(dn.fund(c["address"], 50000, true).empty());
    ASSERT_EQ(run_program("wendrel", {"paymail", "cara", "--wallet", cara}).exit_code, 0);
    const core::Json role = dn.post("/devnet/identity", {{"pubkey", c["identity_key"]}, {"role", "architect"}});
    ASSERT_EQ(role.value("role", std::string()), "architect") << role.dump();
    const std::string curator = tp.root() + "/gallery-cara";
    ASSERT_EQ(connect_instance(curator, cara, tp.root()), 0);
    const std::string cleared = post_as(
        curator, {{"type", "art_gclear"}, {"spot", ledger::frame_row(FRAME).spot}, {"pic", pic}, {"ts", core::now_seconds() + 2}},
        FRAME, "", 0);
    ASSERT_EQ(cleared.rfind("success: ", 0), 0u) << cleared;
    dn.mine();

    // The buyer's next walls read, in its own process, shows the frame empty and
    // releases the offer's coins; the payment that needs them now goes through.
    auto walls = run_program("quenvale-cli", {"--instance", buyer, "walls", "--json"});
    ASSERT_EQ(walls.exit_code, 0) << walls.out << walls.err;
    const std::vector<std::string> left = buyer_locks();
    for (const auto& id : held) EXPECT_EQ(std::count(left.begin(), left.end(), id), 0) << id;
    ledger::reset_wall_caches();
    const std::string paid = pay_beyond_free_coins(buyer);
    EXPECT_EQ(paid.rfind("success: ", 0), 0u) << paid;
}

TEST_F(SaleOnDevnet, ASellersNewShowOnTheFrameFreesTheBuyersOfferCoinsAtTheBuyersNextWallsRead) {
    set_up(1000, 2, 100000);
    if (HasFatalFailure()) return;
    const std::string frame = std::to_string(FRAME);
    ASSERT_EQ(step(buyer, {"ask", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(seller, {"accept", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    ASSERT_EQ(step(buyer, {"pay", "--frame", frame}).rfind("success", 0), 0u);
    dn.mine();
    const std::vector<std::string> held = buyer_locks();
    ASSERT_FALSE(held.empty());
    const std::string short_of_coins = pay_beyond_free_coins(buyer);
    EXPECT_NE(short_of_coins.find("insufficient funds"), std::string::npos) << short_of_coins;

    // The seller takes the piece down and shows it afresh: a new display, to which the
    // offer does not belong.
    const std::int64_t now = core::now_seconds();
    const std::string hidden = post_as(
        seller, {{"type", "art_hide"}, {"spot", ledger::frame_row(FRAME).spot}, {"pic", pic}, {"cert", cert}, {"ts", now + 1}},
        FRAME, "", 0);
    ASSERT_EQ(hidden.rfind("success: ", 0), 0u) << hidden;
    const std::string shown = post_as(
        seller,
        {{"type", "art_show"}, {"spot", ledger::frame_row(FRAME).spot}, {"pic", pic}, {"cert", cert},
         {"sha256", m["sha256"]}, {"price", "5000"}, {"pic_utxo", pic}, {"cert_utxo", cert},
         {"pay_addr", a["address"]}, {"ts", now + 2}, {"exp", now + 2 + 604800}},
        FRAME, core::profile().placement_fee_address, 10000);
    ASSERT_EQ(shown.rfind("success: ", 0), 0u) << shown;
    dn.mine();

    auto walls = run_program("quenvale-cli", {"--instance", buyer, "walls", "--json"});
    ASSERT_EQ(walls.exit_code, 0) << walls.out << walls.err;
    const std::vector<std::string> left = buyer_locks();
    for (const auto& id : held) EXPECT_EQ(std::count(left.begin(), left.end(), id), 0) << id;
    ledger::reset_wall_caches();
    const std::string paid = pay_beyond_free_coins(buyer);
    EXPECT_EQ(paid.rfind("success: ", 0), 0u) << paid;
}

TEST_F(SaleOnDevnet, AWholeSaleOfA300KbArtworkWorksAgainstServicesAsStrictAsTheRealOnes) {
    constexpr std::int64_t PRICE = 1000;
    // An artwork past the 100 KB at which WhatsOnChain cuts scripts in its transaction JSON.
    set_up(PRICE, 2, 200000, 300 * 1024, true);
    if (HasFatalFailure()) return;
    // WhatsOnChain at its free rate, and two seconds behind ARC and the platform: the
    // program's profile says so, as main net's does.
    std::string text;
    ASSERT_TRUE(core::read_file(dn.profile_path(), text));
    core::Json strict = json_of(text);
    strict["woc_rps"] = 3;
    ASSERT_TRUE(core::write_file(dn.profile_path(), core::dump_pretty(strict)));
    core::Profile p = core::profile();
    p.woc_rps = 3;
    core::set_profile(p);
    dn.post("/devnet/switches", {{"wocRps", 3}, {"propagationMs", 2000}});
    dn.post("/devnet/requests/reset", core::Json::object());
    struct Restore {
        Devnet& dn;
        std::string text;
        ~Restore() {
            core::write_file(dn.profile_path(), text);
            dn.post("/devnet/switches", {{"wocRps", 0}, {"propagationMs", 0}});
        }
    } restore{dn, text};

    // Each step is its own program run, as a person's steps are; a run keeps to the rate
    // from its own start, so the next one begins a second after the last.
    const std::string frame = std::to_string(FRAME);
    auto next = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); };
    ASSERT_EQ(step(seller, {"place", "--frame", frame, "--origin", pic, "--weeks", "1", "--price",
                            std::to_string(PRICE)})
                  .rfind("success", 0),
              0u);
    next();
    ASSERT_EQ(step(buyer, {"ask", "--frame", frame}).rfind("success", 0), 0u);
    next();
    ASSERT_EQ(step(seller, {"accept", "--frame", frame}).rfind("success", 0), 0u);
    next();
    ASSERT_EQ(step(buyer, {"pay", "--frame", frame}).rfind("success", 0), 0u);
    next();
    const std::string done = step(seller, {"complete", "--frame", frame});
    ASSERT_EQ(done.rfind("success: ", 0), 0u) << done;
    dn.mine();
    const core::Json txo = dn.get("/ord/api/txos/" + done.substr(9, 64) + "_0");
    EXPECT_EQ(txo.value("owner", std::string()), b["ordinals_address"].get<std::string>()) << txo.dump();
    // Delivered: the buyer's wallet lists the piece.
    next();
    auto arts = run_program("quenvale-cli", {"--instance", buyer, "arts", "--json"});
    const core::Json listed = json_of(arts.out);
    EXPECT_TRUE(listed.is_array() && std::any_of(listed.begin(), listed.end(), [&](const core::Json& a) {
        return a.value("origin", std::string()) == pic;
    })) << arts.out << arts.err;
    // The program kept to the rate: WhatsOnChain refused nothing.
    const core::Json asked = dn.get("/devnet/requests");
    ASSERT_TRUE(asked.contains("woc")) << asked.dump();
    EXPECT_FALSE(asked["woc"].contains("429 /")) << asked.dump();
    long woc = 0;
    for (const auto& [route, n] : asked["woc"].items()) woc += n.get<long>();
    std::printf("a whole sale at 3 WhatsOnChain requests a second: %ld requests there, none refused\n", woc);
}
