#include "ledger/place.h"

#include <algorithm>
#include <array>
#include <vector>

#include "chain/reservations.h"
#include "core/clock.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ledger/pairs.h"
#include "ledger/records.h"
#include "ledger/request_gate.h"
#include "ledger/walls.h"
#include "ordinals/listing.h"
#include "wallet/document.h"

namespace ledger {

namespace {

constexpr std::int64_t WEEK_S = 604800;

// The 64-character form every pic comparison uses; an unrecognised text stays itself,
// lowercased, so it can still match itself.
std::string pic_key(const std::string& pic) {
    const std::string id = inscription_id(pic);
    return id.empty() ? core::lower_ascii(core::trim(pic)) : id;
}

const ordinals::OvWendrelOrdRow* find_row(const std::vector<ordinals::OvWendrelOrdRow>& rows,
                                          const std::string& origin) {
    const std::string want = inscription_origin(origin);
    if (want.empty()) return nullptr;
    for (const auto& r : rows)
        if (r.txid.size() == 64 && inscription_origin(r.origin) == want) return &r;
    return nullptr;
}

std::string row_coin(const ordinals::OvWendrelOrdRow& r) {
    return core::lower_ascii(r.txid) + "_" + std::to_string(r.vout);
}

}  // namespace

std::string frame_free_check(int frame, const std::string& pic, std::int64_t now) {
    const std::string want = pic_key(pic);
    std::array<std::string, FRAME_COUNT> shown{};
    std::array<std::string, FRAME_COUNT> errors{};
    run_jobs(FRAME_COUNT, FRAME_COUNT, [&](std::size_t i) {
        const FrameRow row = frame_row(static_cast<int>(i) + 1);
        History history;
        if (!spot_history(row.spot, row.watch_address, history, errors[i])) return;
        const DisplayPass pass = replay_display(row.number, *history, now, chain_title_at());
        // A display that could not be checked may be there: the frame counts as unread.
        if (pass.title_unread) errors[i] = "could not read AP" + std::to_string(row.number) + "; try again";
        if (pass.display.shown) shown[i] = pass.display.pic;
    });
    std::string text;
    for (int i = 0; i < FRAME_COUNT; ++i) {
        const auto k = static_cast<std::size_t>(i);
        // What an unread frame shows is unknown: placing there could cover someone's artwork.
        if (i + 1 == frame && !errors[k].empty()) return "error: " + errors[k];
        if (shown[k].empty()) continue;
        if (i + 1 == frame)
            text = "error: that frame is already taken.";
        else if (shown[k] == want && text.empty())
            text = "error: that artwork is already on a wall.";
    }
    return text;
}

std::string ov_gallery_place(int frame, const std::string& pic_in, std::int64_t price_sats, int weeks) {
    std::string error;
    if (!may_act(error)) return error;
    if (frame < 1 || frame > FRAME_COUNT) return "error: that frame is not in the room.";
    if (weeks != 1 && weeks != 2) return "error: choose one week or two weeks.";
    if (price_sats == 0) return "error: leave the price empty for view only, or set a price in sats.";
    if (price_sats < VIEW_ONLY_PRICE || price_sats > MAX_RECORD_SATS) return "error: that price is out of range.";
    const std::string pic = core::lower_ascii(core::trim(pic_in));
    const std::int64_t now = core::now_seconds();

    std::vector<ordinals::OvWendrelOrdRow> rows;
    std::string list_error, free_text;
    PairCheck pair;
    run_jobs(3, 3, [&](std::size_t job) {
        if (job == 0) list_error = ordinals::wallet_ordinals(rows);
        if (job == 1) free_text = frame_free_check(frame, pic, now);
        if (job == 2) pair = find_pair(pic);
    });
    if (!free_text.empty()) return free_text;

    const auto* art = find_row(rows, pic);
    const auto* cert = pair.found ? find_row(rows, pair.cert) : nullptr;
    const bool listed = list_error.empty() || !rows.empty();
    if (!listed || !pair.found || !art || !cert || !pair.title_is_mine) {
        if (!listed) return list_error.rfind("error: ", 0) == 0 ? list_error : "error: " + list_error;
        if (pair.found && art && cert) return "error: The title names a different identity.";
        if (pair.found) return "error: This wallet does not hold both the picture and the certificate.";
        return "error: " + (pair.error.empty() ? std::string("No signed pair for this artwork.") : pair.error);
    }

    const FrameRow row = frame_row(frame);
    const std::string pic_utxo = row_coin(*art), cert_utxo = row_coin(*cert);
    core::Json record = {{"protocol", RECORD_PROTOCOL},
                         {"type", "art_show"},
                         {"location", "art"},
                         {"spot", row.spot},
                         {"pic", pic},
                         {"cert", pair.cert},
                         {"sha256", pair.sha256},
                         {"price", price_sats < 0 ? std::string("-") : std::to_string(price_sats)},
                         {"pic_utxo", pic_utxo},
                         {"cert_utxo", cert_utxo},
                         {"pay_addr", wallet::wallet_address()},
                         {"ts", now},
                         {"exp", now + weeks * WEEK_S}};
    const std::string result =
        post_frame_record(record, row, core::profile().placement_fee_address, weeks * PLACE_FEE_PER_WEEK_SATS);
    if (!core::is_success(result)) return result;
    const std::string reserve_error =
        reserve_add(pic_utxo, cert_utxo, pic, pair.cert, price_sats, signed_int(record, "exp"), frame);
    return reserve_error.empty() ? result : result + " " + reserve_error;
}

std::string gallery_remove(int frame) {
    std::string error;
    if (!may_act(error)) return error;
    std::array<SpotLoad, FRAME_COUNT> walls;
    std::string walls_error;
    load_walls(walls_error, walls);
    std::string pic, cert;
    const SpotLoad* s = frame >= 1 && frame <= FRAME_COUNT ? &walls[static_cast<std::size_t>(frame - 1)] : nullptr;
    if (s && s->shown) {
        if (normalise_key(wallet::wallet_identity_key()) != s->owner) return "error: only the owner can remove this frame.";
        if (!s->funded.empty())
            return "error: the buyer has paid. Complete the sale. Remove waits until that is done.";
        pic = s->pic;
        cert = s->cert;
    } else if (!reserve_find(frame, pic, cert)) {
        return "error: that frame is empty.";
    }
    const FrameRow row = frame_row(frame);
    core::Json record = {{"protocol", RECORD_PROTOCOL}, {"type", "art_hide"}, {"location", "art"},
                         {"spot", row.spot},           {"pic", pic},         {"cert", cert}};
    if (s && s->shown) record["ts"] = time_after_showing(s->shown_at);
    const std::string result = post_frame_record(record, row, "", 0);
    if (core::is_success(result)) reserve_clear(pic);
    return result;
}

std::string reserve_add(const std::string& pic_utxo_in, const std::string& cert_utxo_in, const std::string& pic,
                        const std::string& cert, std::int64_t price_sats, std::int64_t exp, int frame) {
    const std::string pic_utxo = chain::normalise_coin_id(pic_utxo_in);
    const std::string cert_utxo = chain::normalise_coin_id(cert_utxo_in);
    if (pic_utxo.size() < 66 || cert_utxo.size() < 66) return "error: bad artwork coins.";
    const std::string key = pic_key(pic);
    chain::ReserveEntry entry{pic_utxo, cert_utxo, pic, cert, price_sats, exp, frame};
    std::string error;
    const bool ok = chain::update_reserve_entries(
        [&](std::vector<chain::ReserveEntry>& entries) {
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const chain::ReserveEntry& e) {
                                             return pic_key(e.pic) == key ||
                                                    chain::normalise_coin_id(e.pic_utxo) == pic_utxo ||
                                                    chain::normalise_coin_id(e.cert_utxo) == cert_utxo;
                                         }),
                          entries.end());
            entries.push_back(entry);
            return true;
        },
        error);
    return ok ? "" : "error: could not write the Gallery reserve.";
}

std::string reserve_clear(const std::string& pic) {
    const std::string key = pic_key(pic);
    std::string error;
    const bool ok = chain::update_reserve_entries(
        [&](std::vector<chain::ReserveEntry>& entries) {
            const std::size_t before = entries.size();
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const chain::ReserveEntry& e) { return pic_key(e.pic) == key; }),
                          entries.end());
            return entries.size() != before;
        },
        error);
    return ok ? "" : "error: could not clear the Gallery reserve.";
}

bool reserve_find(int frame, std::string& pic, std::string& cert) {
    std::vector<chain::ReserveEntry> entries;
    std::string error;
    if (!chain::read_reserve_entries(entries, error)) return false;
    const std::int64_t now = core::now_seconds();
    for (const auto& e : entries) {
        if (e.spot != frame || e.pic.empty() || !chain::reserve_entry_live(e, now)) continue;
        pic = e.pic;
        cert = e.cert;
        return true;
    }
    return false;
}

std::string reserve_status(const std::string& pic) {
    std::vector<chain::ReserveEntry> entries;
    std::string error;
    if (!chain::read_reserve_entries(entries, error)) return "";
    const std::string key = pic_key(pic);
    const std::int64_t now = core::now_seconds();
    for (const auto& e : entries) {
        if (pic_key(e.pic) != key || !chain::reserve_entry_live(e, now)) continue;
        return e.price_sats < 0 ? "On display" : "For sale";
    }
    return "";
}

}  // namespace ledger
