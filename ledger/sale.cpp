#include "ledger/sale.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "chain/broadcast.h"
#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/http.h"
#include "chain/ord_index.h"
#include "chain/posting.h"
#include "chain/reservations.h"
#include "chain/selection.h"
#include "chain/spendable.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/secret.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ledger/offers.h"
#include "ledger/pairs.h"
#include "ledger/records.h"
#include "ledger/trust.h"
#include "ordinals/envelope.h"
#include "ordinals/rows.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/state.h"

namespace ledger {

namespace {

constexpr long INDEX_TIMEOUT_S = 15;

std::mutex spy_mutex;
SaleSpy& spy() {
    static SaleSpy s;
    return s;
}
void spy_signing(std::size_t i) {
    std::lock_guard<std::mutex> lock(spy_mutex);
    if (spy().signing) spy().signing(i);
}
void spy_broadcasting() {
    std::lock_guard<std::mutex> lock(spy_mutex);
    if (spy().broadcasting) spy().broadcasting();
}

bool p2pkh_to(const std::string& address, core::Bytes& script) {
    core::Bytes hash;
    if (address.empty() || !wallet::hash160_from_address(address, hash)) return false;
    script = wallet::p2pkh_script(hash);
    return true;
}

// The address that unlocks a coin: its P2PKH lock, bare or around an inscription.
std::string owner_address(const core::Bytes& script) {
    std::string address = wallet::p2pkh_address(script);
    ordinals::Inscription insc;
    if (address.empty() && ordinals::parse_inscription_script(script, insc) && insc.owner_hash.size() == 20)
        address = wallet::address_from_hash160(insc.owner_hash);
    return address;
}

bool output_is(const chain::TxOutput& out, std::int64_t value, const std::string& address) {
    core::Bytes script;
    return out.value == value && p2pkh_to(address, script) && out.script == script;
}

std::string offer_digits(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return hex;
}

// txid "_" index with a 64-hex txid and a decimal index, the form the display names.
bool coin_named(const std::string& id) {
    const auto cut = id.find('_');
    if (cut != 64 || !core::is_txid(id.substr(0, 64)) || id.size() == 65 || id.size() > 75) return false;
    return std::all_of(id.begin() + 65, id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> input_ids(const std::vector<chain::TxInput>& inputs) {
    std::vector<std::string> ids;
    for (const auto& in : inputs) ids.push_back(chain::coin_id(in.txid, in.vout));
    return ids;
}

// The sale is over: the offer's coins need no lock and the display no reservation.
void release_after_sale(const std::vector<chain::TxInput>& inputs, const std::string& pic) {
    std::string ignored;  // an unreadable file stays as it is and keeps failing closed
    chain::remove_offer_locks(input_ids(inputs), ignored);
    const std::string id = inscription_id(pic);
    if (id.empty()) return;
    chain::update_reserve_entries(
        [&id](std::vector<chain::ReserveEntry>& entries) {
            const auto before = entries.size();
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&id](const chain::ReserveEntry& e) { return inscription_id(e.pic) == id; }),
                          entries.end());
            return entries.size() != before;
        },
        ignored);
}

// The origin the ordinals index names for a coin (txid_vout), or "" with the error.
std::string index_origin(const std::string& coin, std::string& error) {
    std::string txid;
    std::uint32_t vout = 0;
    if (!split_outpoint(coin, txid, vout)) {
        error = "bad outpoint.";
        return "";
    }
    chain::OrdTxo txo;
    if (!chain::ord_txo(txid, vout, INDEX_TIMEOUT_S, txo)) {
        error = "the ordinals index did not answer for that coin.";
        return "";
    }
    return chain::normalise_coin_id(txo.origin);
}

const AskEntry* last_ask_of(const std::vector<AskEntry>& asks, const std::string& buyer) {
    const AskEntry* found = nullptr;
    for (const auto& a : asks)
        if (a.buyer == buyer) found = &a;
    return found;
}

struct Me {
    std::string identity;  // lowercase
    std::string ordinals_address;
};

bool who_am_i(Me& me, std::string& error) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet() || !wallet::wallet_state().hd) {
        error = "error: need an HD Wendrel wallet.";
        return false;
    }
    const auto& s = wallet::wallet_state();
    me.identity = normalise_key(s.identity_pub.empty() ? s.pub : s.identity_pub);
    me.ordinals_address = s.ordinals_address;
    return true;
}

// The frame as the walls read it now; false with the page text when it cannot be read.
bool read_frame(int frame, SpotLoad& spot, std::string& error) {
    if (frame < 1 || frame > FRAME_COUNT) {
        error = "error: that frame is not for sale.";
        return false;
    }
    spot = load_spot(frame - 1, core::now_seconds());
    if (!spot.error.empty()) {
        error = "error: " + spot.error;
        return false;
    }
    return true;
}

core::Json sale_record(const char* type, const SpotLoad& spot) {
    return {{"protocol", RECORD_PROTOCOL}, {"type", type}, {"location", "art"}, {"spot", frame_row(spot.spot).spot}};
}

OfferTerms terms_of(const SpotLoad& spot) {
    OfferTerms t;
    t.pic_utxo = spot.pic_utxo;
    t.cert_utxo = spot.cert_utxo;
    t.price = spot.price;
    t.pay_addr = spot.pay_addr;
    t.fee_address = core::profile().sale_fee_address;
    t.oao_address = core::profile().oao_address;
    t.asks = spot.asks;
    t.accepts = spot.accepts;
    return t;
}

}  // namespace

void set_sale_spy(SaleSpy s) {
    std::lock_guard<std::mutex> lock(spy_mutex);
    spy() = std::move(s);
}

std::int64_t sale_fee(std::int64_t price) {
    if (price < 1 || price > chain::MAX_SATS) return -1;
    // price / 50 is price * 2 / 100 without the product that could overflow.
    return price >= SALE_FEE_FLOOR ? price / SALE_FEE_DIVISOR : 0;
}

bool check_offer_layout(const std::vector<chain::TxInput>& inputs, const std::vector<chain::TxOutput>& outputs,
                        const OfferTerms& t, const std::string& signer_key,
                        const std::function<bool(std::size_t)>& wallet_holds, bool pay_addr_ours,
                        std::string& error) {
    auto refuse = [&error](const char* text) {
        error = text;
        return false;
    };
    if (inputs.size() < 3) return refuse("error: the offer does not pay with coins of its own.");
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].unlocking_script.empty() != (i < 2))
            return refuse("error: the offer must leave exactly its first two inputs unsigned.");
    if (chain::coin_id(inputs[0].txid, inputs[0].vout) != chain::normalise_coin_id(t.pic_utxo) ||
        chain::coin_id(inputs[1].txid, inputs[1].vout) != chain::normalise_coin_id(t.cert_utxo))
        return refuse("error: the offer does not spend this frame's artwork and certificate in order.");
    for (std::size_t i = 2; i < inputs.size(); ++i)
        if (wallet_holds(i)) return refuse("error: the offer spends another coin of this wallet.");

    const std::string signer = normalise_key(signer_key);
    std::vector<const AcceptEntry*> accepted;
    for (const auto& a : t.accepts)
        if (!signer.empty() && a.buyer == signer) accepted.push_back(&a);
    if (accepted.empty()) return refuse("error: the offer was not paid by a buyer this frame accepted.");
    const AskEntry* ask = last_ask_of(t.asks, signer);
    if (!ask) return refuse("error: the buyer of the offer has not asked.");

    const std::int64_t fee = sale_fee(t.price);
    if (fee < 0) return refuse("error: that frame has no price.");
    std::size_t k = 0;
    if (outputs.size() < 5 || !output_is(outputs[0], 1, ask->buyer_ord) || !output_is(outputs[1], 1, ask->buyer_ord))
        return refuse("error: the offer does not deliver the artwork to the buyer.");
    k = 2;
    if (fee > 0) {
        if (!output_is(outputs[k], fee, t.fee_address)) return refuse("error: the offer does not pay the gallery fee.");
        ++k;
    }
    if (!pay_addr_ours) return refuse("error: the frame's payment address is not this wallet's.");
    if (outputs.size() < k + 3 || !output_is(outputs[k], t.price - fee, t.pay_addr))
        return refuse("error: the offer does not pay the seller the price.");
    if (!output_is(outputs[k + 1], 1, t.oao_address)) return refuse("error: the offer does not pay the title trail.");
    const chain::TxOutput& data = outputs[k + 2];
    const bool title_ok = data.value == 0 && std::any_of(accepted.begin(), accepted.end(), [&data](const AcceptEntry* a) {
                              return !a->title_json.empty() && data.script == chain::data_script(core::to_bytes(a->title_json));
                          });
    if (!title_ok) return refuse("error: the offer does not carry the accepted title.");
    const std::size_t rest = outputs.size() - (k + 3);
    if (rest > 1 || (rest == 1 && (outputs.back().value < 1 || wallet::p2pkh_address(outputs.back().script).empty())))
        return refuse("error: the offer pays more than its change.");
    return true;
}

bool check_artwork_coins(std::int64_t pic_sats, std::int64_t cert_sats, const std::string& pic_index_origin,
                         const std::string& cert_index_origin, const SpotLoad& spot, std::string& error) {
    if (pic_sats != 1 || cert_sats != 1) {
        error = "error: the artwork coins must hold exactly 1 sat each.";
        return false;
    }
    const std::string pic = chain::normalise_coin_id(spot.pic_origin.empty() ? inscription_origin(spot.pic) : spot.pic_origin);
    const std::string cert =
        chain::normalise_coin_id(spot.cert_origin.empty() ? inscription_origin(spot.cert) : spot.cert_origin);
    if (pic.empty() || cert.empty() || chain::normalise_coin_id(pic_index_origin) != pic ||
        chain::normalise_coin_id(cert_index_origin) != cert) {
        error = "error: the frame's coins do not carry this artwork and its certificate.";
        return false;
    }
    return true;
}

bool check_title(const std::string& title_json, const SpotLoad& spot, const std::string& buyer,
                 const std::string& last_txid, std::string& error) {
    core::Json title;
    error = "error: the title record does not hand this artwork to you.";
    if (!core::parse_json(title_json, title) || !title.is_object()) return false;
    if (core::json_string(title, "type") != "art_owner" || inscription_id(core::json_string(title, "pic")) != spot.pic ||
        inscription_id(core::json_string(title, "cert")) != spot.cert ||
        normalise_key(core::json_string(title, "owner")) != normalise_key(buyer) || buyer.empty())
        return false;
    if (last_txid.empty() || core::lower_ascii(core::json_string(title, "prev")) != core::lower_ascii(last_txid)) {
        error = "error: the title record does not follow the artwork's title chain.";
        return false;
    }
    std::string signer;
    const RecordCheck check = check_record(title, signer);
    if (check == RecordCheck::unverified) {
        error = "error: could not check the title's signature yet. Try again in a few seconds.";
        return false;
    }
    if (check != RecordCheck::valid || signer != spot.owner) {
        error = "error: the title record is not signed by the frame's owner.";
        return false;
    }
    error.clear();
    return true;
}

std::string build_offer(const OfferRequest& request, const SpotLoad& spot) {
    const OfferTerms& t = request.terms;
    if (request.title_json.empty()) return "error: empty sale record.";
    if (t.price <= 0) return "error: that frame has no price.";
    const std::int64_t fee = sale_fee(t.price);
    if (fee < 0) return "error: the price is beyond 21 million BSV.";
    const std::string pic_id = chain::normalise_coin_id(t.pic_utxo), cert_id = chain::normalise_coin_id(t.cert_utxo);
    if (!coin_named(pic_id) || !coin_named(cert_id)) return "error: the frame coins are not named yet.";
    if (!coin_spent_by(pic_id).empty() || !coin_spent_by(cert_id).empty())
        return "error: one of those coins was already spent.";
    std::int64_t pic_sats = 0, cert_sats = 0;
    core::Bytes pic_script, cert_script;
    std::string error;
    if (!coin_lookup(pic_id, pic_sats, pic_script, error)) return "error: artwork coin: " + error;
    if (!coin_lookup(cert_id, cert_sats, cert_script, error)) return "error: certificate coin: " + error;
    const std::string pic_origin = index_origin(pic_id, error);
    if (pic_origin.empty()) return "error: artwork coin: " + error;
    const std::string cert_origin = index_origin(cert_id, error);
    if (cert_origin.empty()) return "error: certificate coin: " + error;
    SpotLoad expected = spot;
    if (!request.pic_origin.empty()) expected.pic_origin = request.pic_origin;
    if (!request.cert_origin.empty()) expected.cert_origin = request.cert_origin;
    if (!check_artwork_coins(pic_sats, cert_sats, pic_origin, cert_origin, expected, error)) return error;

    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet() || !wallet::wallet_state().hd) return "error: need an HD Wendrel wallet.";
    chain::sync_coin_state();
    core::Bytes seller, fee_script, oao, change, ord_hash;
    if (!p2pkh_to(t.pay_addr, seller)) return "error: seller payment address is not a 1\u2026 longcode.";
    if (fee >= 1 && !p2pkh_to(t.fee_address, fee_script)) return "error: sale fee address decode failed.";
    if (!p2pkh_to(t.oao_address, oao)) return "error: OAO address decode failed.";
    if (!chain::change_hash(change, error)) return "error: messenger address decode failed.";
    if (!wallet::current_ordinals_hash160(ord_hash, error)) return "error: " + error;

    std::vector<chain::TxOutput> outputs;
    const core::Bytes to_buyer = wallet::p2pkh_script(ord_hash);
    outputs.push_back({1, to_buyer});
    outputs.push_back({1, to_buyer});
    if (fee >= 1) outputs.push_back({fee, fee_script});
    outputs.push_back({t.price - fee, seller});
    outputs.push_back({1, oao});
    outputs.push_back({0, chain::data_script(core::to_bytes(request.title_json))});

    auto artwork_input = [](const std::string& id, std::int64_t sats, const core::Bytes& script) {
        chain::TxInput in;
        split_outpoint(id, in.txid, in.vout);
        in.value = sats;
        in.prev_locking_script = script;
        return in;
    };
    const chain::WalletMark mark = chain::wallet_mark();
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outs;
    bool balanced = false;
    std::string sel_error;
    for (int attempt = 0; attempt < 3 && !balanced; ++attempt) {
        if (!chain::prepare_payment_coins(error)) return "error: " + error;
        std::vector<chain::TxInput> candidates;
        chain::gather_spendable(candidates, {pic_id, cert_id}, false, error);
        if (!error.empty()) return "error: " + error;
        if (!chain::same_wallet(mark)) return std::string("error: ") + chain::WALLET_CHANGED;
        if (candidates.empty()) {
            std::string reason;
            chain::coins_unreachable(reason);
            return "error: need BSV for the price and miner fee." + (reason.empty() ? "" : " (" + reason + ")");
        }
        inputs = {artwork_input(pic_id, pic_sats, pic_script), artwork_input(cert_id, cert_sats, cert_script)};
        inputs.insert(inputs.end(), candidates.begin(), candidates.end());
        outs = outputs;
        std::int64_t miner_fee = 0;
        balanced = chain::select_and_balance(inputs, 2, outs, change, miner_fee, sel_error);
    }
    if (!balanced) return "error: " + sel_error;
    // The offer travels as hex inside the art_gfunded record, which must fit one push, and
    // readers look up no more inputs than MAX_OFFER_INPUTS.
    if (chain::estimate_size(inputs.size(), outs) * 2 + FUNDED_RECORD_OVERHEAD > chain::MAX_RECORD_BYTES ||
        inputs.size() > MAX_OFFER_INPUTS)
        return "error: use fewer, larger coins.";

    const auto& w = wallet::wallet_state();
    for (std::size_t i = 2; i < inputs.size(); ++i) {
        const auto& in = inputs[i];
        const bool own = !in.private_key.empty();
        std::string priv = own ? in.private_key : w.priv.str();
        const std::string pub = in.public_key.empty() ? w.pub : in.public_key;
        const core::Bytes hash = own ? in.key_hash : change;
        const bool ok = chain::sign_input(i, inputs, outs, priv, pub, hash);
        core::cleanse(priv);
        if (!ok) return "error: could not sign the buyer inputs.";
    }
    if (!inputs[0].unlocking_script.empty() || !inputs[1].unlocking_script.empty())
        return "error: the artwork inputs must stay unsigned.";
    const core::Bytes raw = chain::serialize_tx(inputs, outs, false);
    if (raw.empty()) return "error: serialize failed.";
    std::vector<std::string> held(input_ids(inputs));
    held.erase(held.begin(), held.begin() + 2);
    if (!chain::add_offer_locks(held, error)) return "error: " + error;
    return core::to_hex(raw);
}

std::string broadcast_sale(const std::vector<chain::TxInput>& inputs, const std::vector<chain::TxOutput>& outputs) {
    core::Bytes change;
    std::string error;
    if (!chain::change_hash(change, error)) return "error: messenger address decode failed.";
    chain::BroadcastResult sent = chain::broadcast_tx(inputs, outputs, change);
    if (sent.status == chain::BroadcastStatus::Sent) return sent.text;
    // A sale the network already holds (sent before, or by a retry) is done.
    if (core::is_txid(sent.txid) && chain::tx_known(sent.txid)) {
        std::string done = chain::finish_success(sent.txid, sent.txid, inputs, outputs);
        if (!done.empty()) return done;
    }
    if (sent.status == chain::BroadcastStatus::InputSpent) return "error: that sale is already on the network. Refresh the wall.";
    return sent.text;
}

namespace {

// finish_sale; vetted tells whether the offer passed the layout check (and so whether
// anything was signed or sent).
std::string finish_checked(const std::string& offer_hex, const SpotLoad& spot, const std::string& signer,
                           bool& vetted) {
    vetted = false;
    const std::string hex = offer_digits(offer_hex);
    if (hex.size() < 80 || hex.size() % 2) return "error: that offer has no signed bytes.";
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outputs;
    if (!chain::parse_tx(core::from_hex(hex), inputs, outputs)) return "error: could not parse the offer transaction.";
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!wallet::load_wallet() || !wallet::wallet_state().hd) return "error: need an HD Wendrel wallet.";
        core::Bytes change;
        std::string error;
        if (!chain::change_hash(change, error)) return "error: messenger address decode failed.";
    }

    std::vector<std::string> spender(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) spender[i] = coin_spent_by(chain::coin_id(inputs[i].txid, inputs[i].vout));
    std::string artwork_spender;
    bool artwork_spent = false, one_spender = true, payment_spent = false;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (spender[i].empty()) continue;
        if (inputs[i].unlocking_script.empty()) {
            if (artwork_spent && spender[i] != artwork_spender) one_spender = false;
            artwork_spent = true;
            artwork_spender = spender[i];
        } else {
            payment_spent = true;
        }
    }
    if (artwork_spent) {
        // Done only when the transaction that took the artwork also took the buyer's
        // money; anything else moved the piece some other way.
        bool with_payment = false;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (!inputs[i].unlocking_script.empty() && spender[i] == artwork_spender) with_payment = true;
        if (one_spender && core::is_txid(artwork_spender) && with_payment) {
            release_after_sale(inputs, spot.pic);
            return "success: " + artwork_spender;
        }
        return "error: one of the artwork coins was already spent.";
    }
    if (payment_spent) {
        std::string ignored;
        chain::remove_offer_locks(input_ids(inputs), ignored);
        return "error: that payment was already spent. The buyer has to pay once more.";
    }

    for (auto& in : inputs) {
        std::string error;
        if (!coin_lookup(chain::coin_id(in.txid, in.vout), in.value, in.prev_locking_script, error)) return "error: " + error;
    }

    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet() || !wallet::wallet_state().hd) return "error: need an HD Wendrel wallet.";
    auto holds_address = [](const std::string& address) {
        std::string priv, pub;
        const bool found = !address.empty() && wallet::find_key_for_address(address, priv, pub);
        core::cleanse(priv);
        return found;
    };
    auto holds_input = [&](std::size_t i) { return holds_address(owner_address(inputs[i].prev_locking_script)); };
    std::string error;
    if (!check_offer_layout(inputs, outputs, terms_of(spot), signer, holds_input, holds_address(spot.pay_addr), error))
        return error;
    vetted = true;

    for (std::size_t i = 0; i < 2; ++i) {
        const std::string address = owner_address(inputs[i].prev_locking_script);
        std::string priv, pub;
        core::Bytes hash;
        if (address.empty() || !wallet::find_key_for_address(address, priv, pub) ||
            !wallet::hash160_from_address(address, hash)) {
            core::cleanse(priv);
            return "error: this wallet does not hold an unsigned artwork input.";
        }
        spy_signing(i);
        const bool ok = chain::sign_input(i, inputs, outputs, priv, pub, hash);
        core::cleanse(priv);
        if (!ok) return "error: could not sign the artwork.";
    }
    for (const auto& in : inputs)
        if (in.unlocking_script.empty()) return "error: the sale is still missing a signature.";
    spy_broadcasting();
    std::string result = broadcast_sale(inputs, outputs);
    if (core::is_success(result)) release_after_sale(inputs, spot.pic);
    return result;
}

}  // namespace

std::string finish_sale(const std::string& offer_hex, const SpotLoad& spot, const std::string& signer) {
    bool vetted = false;
    return finish_checked(offer_hex, spot, signer, vetted);
}

std::string gallery_ask(int frame) {
    std::string error;
    if (!may_act(error)) return error;
    SpotLoad spot;
    if (!read_frame(frame, spot, error)) return error;
    if (!spot.shown || spot.price <= 0) return "error: that frame is not for sale.";
    Me me;
    if (!who_am_i(me, error)) return error;
    if (me.identity == spot.owner) return "error: this frame is already yours.";
    if (me.ordinals_address.empty()) return "error: this wallet has no ordinal address.";
    core::Json r = sale_record("art_gask", spot);
    r["pic"] = spot.pic;
    r["cert"] = spot.cert;
    r["price_sats"] = spot.price;
    r["buyer_ord"] = me.ordinals_address;
    r["buyer"] = me.identity;
    return post_frame_record(r, frame_row(frame), "", 0);
}

std::string gallery_accept(int frame, const std::string& buyer_in) {
    std::string error;
    if (!may_act(error)) return error;
    SpotLoad spot;
    if (!read_frame(frame, spot, error)) return error;
    if (!spot.shown || spot.price <= 0) return "error: that frame is not for sale.";
    Me me;
    if (!who_am_i(me, error)) return error;
    if (me.identity != spot.owner) return "error: only the owner can accept.";
    std::string buyer = normalise_key(core::trim(buyer_in));
    if (core::trim(buyer_in).empty() && !spot.asks.empty()) buyer = spot.asks.back().buyer;
    if (buyer.empty() || !last_ask_of(spot.asks, buyer)) return "error: that buyer has not asked.";
    std::vector<TitleEntry> chain_entries;
    if (std::string e = title_chain(spot.pic, chain_entries); !e.empty()) return "error: " + e;
    if (chain_entries.empty() || normalise_key(chain_entries.back().owner) != me.identity)
        return "error: owner is not this identity.";
    const std::string prev = chain_entries.back().txid;
    core::Json title = {{"protocol", RECORD_PROTOCOL}, {"type", "art_owner"}, {"location", "art"},
                        {"pic", spot.pic}, {"cert", spot.cert}, {"owner", buyer}, {"prev", prev}};
    if (!sign_record(title, error)) return error.empty() ? "error: could not sign the title" : "error: " + error;
    const std::string title_json = record_text(title);
    core::Json r = sale_record("art_gaccept", spot);
    r["pic"] = spot.pic;
    r["cert"] = spot.cert;
    r["buyer"] = buyer;
    r["prev"] = prev;
    r["price_sats"] = spot.price;
    r["title_sha"] = sha256_hex(title_json);
    r["title_json"] = title_json;
    return post_frame_record(r, frame_row(frame), "", 0);
}

std::string gallery_pay(int frame, const std::string& title_in) {
    std::string error;
    if (!may_act(error)) return error;
    SpotLoad spot;
    if (!read_frame(frame, spot, error)) return error;
    if (spot.pic.empty() || spot.price <= 0) return "error: that frame is not for sale.";
    Me me;
    if (!who_am_i(me, error)) return error;
    const AcceptEntry* accept = nullptr;
    for (const auto& a : spot.accepts)
        if (a.buyer == me.identity && a.title_json == title_in) accept = &a;
    if (!accept)
        for (const auto& a : spot.accepts)
            if (a.buyer == me.identity) accept = &a;
    if (!accept) return "error: the owner has not accepted this ask yet.";
    for (const auto& f : spot.funded) {
        if (f.signer != me.identity) continue;  // another accepted buyer's offer is theirs
        const int status = offer_status(f.offer);
        if (status != 2 && status != 3) return "error: you already paid. The owner completes the sale.";
    }
    const std::string title = title_in.empty() ? accept->title_json : title_in;
    if (sha256_hex(title) != sha256_hex(accept->title_json))
        return "error: the title record does not match what the owner signed.";
    const AskEntry* ask = last_ask_of(spot.asks, me.identity);
    if (ask && ask->buyer_ord != me.ordinals_address) return "error: the ordinal address on the ask is not this wallet.";
    std::vector<TitleEntry> chain_entries;
    if (std::string e = title_chain(spot.pic, chain_entries); !e.empty()) return "error: " + e;
    if (!check_title(title, spot, me.identity, chain_entries.empty() ? "" : chain_entries.back().txid, error))
        return error;

    OfferRequest request;
    request.terms = terms_of(spot);
    request.title_json = title;
    const std::string offer = build_offer(request, spot);
    if (offer.rfind("error", 0) == 0) return offer;
    core::Json r = sale_record("art_gfunded", spot);
    r["offer_sha"] = sha256_hex(offer);
    r["offer"] = offer;
    std::string result = post_frame_record(r, frame_row(frame), "", 0);
    if (!core::is_success(result)) {
        // The offer was never published: its coins go back to ordinary spending.
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        if (chain::parse_tx(core::from_hex(offer), inputs, outputs)) {
            std::vector<std::string> ids = input_ids(inputs);
            ids.erase(ids.begin(), ids.begin() + std::min<std::size_t>(2, ids.size()));
            std::string ignored;  // an unreadable locks file keeps the coins held, the safe side
            chain::remove_offer_locks(ids, ignored);
        }
    }
    return result;
}

std::string gallery_complete(int frame, const std::string& offer_in) {
    std::string error;
    if (!may_act(error)) return error;
    if (frame < 1 || frame > FRAME_COUNT) return "error: that frame is empty.";
    SpotLoad spot;
    if (!read_frame(frame, spot, error)) return error;
    if (spot.pic.empty()) return "error: that frame is empty.";
    Me me;
    if (!who_am_i(me, error)) return error;
    if (me.identity != spot.owner) return "error: only the owner can complete this sale.";
    if (spot.funded.empty()) return "error: no funded offer is waiting.";

    std::string result;
    const std::string wanted = offer_digits(offer_in);
    bool tried = false;
    // Newest first; with no offer named, the newest that passes the checks is taken and
    // hostile ones above it are passed over.
    for (auto it = spot.funded.rbegin(); it != spot.funded.rend(); ++it) {
        if (!wanted.empty() && offer_digits(it->offer) != wanted) continue;
        tried = true;
        const int status = offer_status(it->offer);
        if (status == 2 || status == 3) {
            result = "error: that payment was already spent. The buyer has to pay once more.";
            if (!wanted.empty()) break;
            continue;
        }
        bool vetted = false;
        const std::string attempt = finish_checked(it->offer, spot, it->signer, vetted);
        // The first refusal explains best why nothing was completed.
        const bool final = vetted || core::is_success(attempt) || !wanted.empty();
        if (result.empty() || final) result = attempt;
        if (final) break;
    }
    if (!tried) return wanted.empty() ? "error: no funded offer is waiting." : "error: that offer is not on this frame.";
    if (!core::is_success(result)) return result;
    if (spot.shown) {
        core::Json hide = sale_record("art_hide", spot);
        hide["pic"] = spot.pic;
        hide["cert"] = spot.cert;
        hide["ts"] = time_after_showing(spot.shown_at);
        const std::string notice = post_frame_record(hide, frame_row(frame), "", 0);
        if (!core::is_success(notice)) return result + " Frame notice failed: " + notice;
    }
    return result;
}

}  // namespace ledger
