#include "ledger/pairs.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "chain/http.h"
#include "chain/svc.h"
#include "chain/woc.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/flight_cache.h"
#include "ledger/identity_checks.h"
#include "ledger/request_gate.h"
#include "ledger/trust.h"
#include "ordinals/caches.h"
#include "ordinals/content.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace ledger {

namespace {

constexpr long INDEXER_TIMEOUT_S = 8;
constexpr long WOC_TIMEOUT_S = 15;
constexpr int INDEXER_PAGES = 10;
constexpr int WOC_PAGES = 6;
constexpr std::int64_t FOREVER_MS = INT64_MAX / 4;

// A certificate's content: read once, or known not to be a certificate.
struct CertContent {
    bool readable = false;
    Certificate value;  // set when the content is a JSON object
};

FlightCache<std::shared_ptr<const CertContent>>& cert_cache() {
    static FlightCache<std::shared_ptr<const CertContent>> c;
    return c;
}

std::string str(const core::Json& r, const char* key) { return core::json_string(r, key); }

// One WhatsOnChain history list: confirmed or unconfirmed, paged by its token.
bool woc_history_list(bool confirmed, const std::string& address, std::vector<std::string>& out, const IdSink& sink) {
    return chain::woc_address_history(
        confirmed, address, WOC_PAGES, MAX_HISTORY_TXIDS,
        [](const std::string& url, core::Json& reply) { return gated_art_json(url, WOC_TIMEOUT_S, reply); }, out,
        sink);
}

bool art_txids(const std::string& oracle, const std::string& address, std::vector<std::string>& out,
               std::string& error, const IdSink& sink) {
    out.clear();
    std::vector<std::string> lists[3];
    bool answered[3] = {false, false, false};
    run_jobs(3, 3, [&](std::size_t job) {
        if (job == 0) {
            answered[0] = chain::svc_oracle_txids(
                oracle, INDEXER_PAGES, MAX_HISTORY_TXIDS,
                [](const std::string& url, core::Json& reply) { return gated_art_json(url, INDEXER_TIMEOUT_S, reply); },
                lists[0], sink);
            return;
        }
        answered[job] = woc_history_list(job == 2, address, lists[job], sink);
    });
    std::set<std::string> seen;
    for (const auto& list : lists)
        for (const auto& id : list)
            if (out.size() < MAX_HISTORY_TXIDS && seen.insert(id).second) out.push_back(id);
    // The indexer alone, with nothing in it, does not show that the address is empty.
    if (answered[1] || answered[2] || !out.empty()) {
        error.clear();
        return true;
    }
    error = "OI " + oracle + " missed and WhatsOnChain missed";
    return false;
}

std::string my_identity_key() {
    wallet::WalletLock lock(wallet::wallet_mutex());
    return core::lower_ascii(wallet::wallet_identity_key());
}

bool read_ocp(History& out, std::string& error) {
    return art_history("ocp", core::profile().ocp_address, out, error);
}

}  // namespace

bool art_history(const std::string& oracle, const std::string& address, History& out, std::string& error) {
    if (address.empty()) {
        out = std::make_shared<const std::vector<HistoryEntry>>();
        error = "watch address is not assigned";
        return false;
    }
    return cached_history(
        "art:" + oracle + "|" + address,
        [&](const IdSink& sink, std::string& e) {
            std::vector<std::string> ids;
            return art_txids(oracle, address, ids, e, sink);
        },
        "could not read the " + oracle + " history; try again", {}, out, error);
}

bool pays_address(const core::Json& tx, const std::string& address) {
    if (!tx.is_object() || !tx.contains("vout") || !tx["vout"].is_array()) return false;
    bool any_address = false;
    for (const auto& out : tx["vout"]) {
        if (!out.is_object()) continue;
        const std::string a = output_address(out);
        if (a.empty()) continue;
        any_address = true;
        if (a == address && output_sats(out) > 0) return true;
    }
    return !any_address;
}

bool read_certificate(const std::string& cert, Certificate& out, std::string& error) {
    out.reset();
    const std::string origin = inscription_origin(core::trim(cert));
    std::shared_ptr<const CertContent> content;
    const bool ok = !origin.empty() && cert_cache().get(
        origin,
        [&](std::shared_ptr<const CertContent>& kept) {
            auto c = std::make_shared<CertContent>();
            kept = c;
            ordinals::Content got;
            {
                RequestSlot slot;
                // Content that cannot be read now is asked for again after a history's
                // lifetime, not by every frame of the same read.
                std::string ignored;  // every failure reads as "could not read that inscription"
                if (!ordinals::read_content(origin, true, true, got, ignored) || got.bytes.empty()) return true;
            }
            c->readable = true;
            core::Json parsed;
            if (core::parse_json(got.bytes, parsed) && parsed.is_object()) {
                c->value = std::make_shared<const core::Json>(std::move(parsed));
            } else {
                // What a service sent instead of the certificate (an error page with a 200)
                // must not stay in the shared cache for good: it is asked for again later.
                ordinals::content_cache_forget(origin);
            }
            return true;
        },
        [](const std::shared_ptr<const CertContent>& c) {
            return c && c->readable && c->value ? FOREVER_MS : HISTORY_FRESH_MS;
        },
        content);
    if (!ok || !content || !content->readable) {
        error = "could not read that inscription";
        return false;
    }
    if (!content->value) {
        error = "that inscription is not a certificate";
        return false;
    }
    out = content->value;
    error.clear();
    return true;
}

bool certificate_known(const std::string& cert) {
    const std::string origin = inscription_origin(core::trim(cert));
    return origin.empty() || cert_cache().fresh(origin);
}

namespace {

// The pair check of an artwork from its title chain, whose root names the certificate.
PairCheck pair_from_chain(const std::vector<TitleEntry>& chain, const std::string& pic, const std::string& sha) {
    PairCheck r;
    r.found = true;
    r.cert = chain.front().cert;
    r.pic = pic;
    r.sha256 = sha;
    r.pair_txid = chain.front().txid;
    r.owner = chain.back().owner;
    const std::string mine = my_identity_key();
    r.title_is_mine = !mine.empty() && normalise_key(mine) == r.owner;
    return r;
}

}  // namespace

PairCheck check_pair(const std::string& cert_in) {
    PairCheck r;
    try {
        const std::string cert_text = core::lower_ascii(core::trim(cert_in));
        if (cert_text.empty()) {
            r.error = "Pick a certificate.";
            return r;
        }
        Certificate content;
        if (!read_certificate(cert_text, content, r.error)) return r;
        const std::string cert = inscription_id(cert_text).empty() ? cert_text : inscription_id(cert_text);
        const std::string pic = core::lower_ascii(str(*content, "pic"));
        const std::string sha = core::lower_ascii(str(*content, "sha256"));
        if (pic.empty() || sha.size() != 64) {
            r.error = "That inscription is not a certificate.";
            return r;
        }
        // The pair that counts is the root of the artwork's title: a pair for another
        // certificate of the same picture binds nothing.
        std::vector<TitleEntry> chain;
        if (std::string e = title_chain(pic, chain); !e.empty()) {
            r.error = e;
            return r;
        }
        if (chain.empty() || chain.front().cert != cert || chain.front().sha256 != sha) {
            r.error = "No signed OCP pair matches this certificate and artwork.";
            return r;
        }
        return pair_from_chain(chain, pic, sha);
    } catch (...) {
        PairCheck failed;
        failed.error = "could not read that inscription";
        return failed;
    }
}

PairCheck find_pair(const std::string& pic_in) {
    PairCheck r;
    try {
        if (core::trim(pic_in).empty()) {
            r.error = "Pick an artwork.";
            return r;
        }
        const std::string pic = inscription_id(core::trim(pic_in));
        if (pic.empty()) {
            r.error = "No signed pair for this artwork.";
            return r;
        }
        std::vector<TitleEntry> chain;
        if (std::string e = title_chain(pic, chain); !e.empty()) {
            r.error = e;
            return r;
        }
        if (chain.empty()) {
            r.error = "No signed pair for this artwork.";
            return r;
        }
        return pair_from_chain(chain, pic, chain.front().sha256);
    } catch (...) {
        r.error = "No signed pair for this artwork.";
        return r;
    }
}

std::string title_chain(const std::string& pic_in, std::vector<TitleEntry>& out) {
    out.clear();
    try {
        const std::string trimmed = core::lower_ascii(core::trim(pic_in));
        if (trimmed.empty()) return "Pick an artwork.";
        const std::string art = inscription_id(trimmed).empty() ? trimmed : inscription_id(trimmed);
        auto is_ours = [&](const HistoryEntry& e) {
            const std::string type = str(e.record, "type");
            if (type != "art_pair" && type != "art_owner") return false;
            const std::string rp = core::lower_ascii(str(e.record, "pic"));
            return (inscription_id(rp).empty() ? rp : inscription_id(rp)) == art;
        };
        const auto& p = core::profile();
        // An unread trail may hold a sale: without it nobody can say who holds the title.
        History oao, ocp;
        std::string error;
        if (!art_history("oao", p.oao_address, oao, error)) return error;
        std::vector<HistoryEntry> list;
        for (const auto& e : *oao)
            if (is_ours(e)) list.push_back(e);
        const bool has_pair = std::any_of(list.begin(), list.end(),
                                          [](const HistoryEntry& e) { return str(e.record, "type") == "art_pair"; });
        if (!has_pair) {
            if (!read_ocp(ocp, error)) return error;
            std::set<std::string> have;
            for (const auto& e : list) have.insert(e.txid);
            for (const auto& e : *ocp)
                if (str(e.record, "type") == "art_pair" && is_ours(e) && !have.count(e.txid)) list.push_back(e);
        }
        // One order for both addresses, with a record posted twice counted once.
        order_history(list);

        // The root is the first pair in the chain's order that its maker wrote (the
        // certificate names the pair's signer); each title after it names the one before
        // ("prev", any copy of it) and is signed by that title's owner. The links decide
        // the order, so records made within one second still chain up.
        std::string owner;
        const TitleEntry* last = nullptr;
        std::vector<char> used(list.size(), 0);
        for (std::size_t step = 0; step < list.size(); ++step) {
            bool linked = false;
            for (std::size_t i = 0; i < list.size() && !linked; ++i) {
                if (used[i]) continue;
                const HistoryEntry& e = list[i];
                const std::string type = str(e.record, "type");
                const std::string rec_owner = normalise_key(str(e.record, "owner"));
                if (e.signer.empty() || rec_owner.empty()) continue;
                TitleEntry entry{e.txid, type, rec_owner, e.signer, normalise_handle(str(e.record, "actor")), e.ts,
                                 e.height, e.replays, "", ""};
                if (type == "art_pair") {
                    if (!out.empty() || e.signer != rec_owner) continue;
                    if (!pays_address(e.transaction, p.oao_address) || !pays_address(e.transaction, p.ocp_address))
                        continue;
                    const std::string cert = inscription_id(str(e.record, "cert"));
                    if (cert.empty()) continue;
                    Certificate content;
                    std::string cert_error;
                    if (!read_certificate(str(e.record, "cert"), content, cert_error)) {
                        // Content that is there but no certificate roots nothing; content
                        // that could not be read leaves the root unknown.
                        if (cert_error == "that inscription is not a certificate") continue;
                        out.clear();
                        return cert_error;
                    }
                    if (!pair_is_root(e, *content, p.paymail_domain)) continue;
                    entry.cert = cert;
                    entry.sha256 = core::lower_ascii(str(e.record, "sha256"));
                } else {
                    const std::string prev = core::lower_ascii(str(e.record, "prev"));
                    if (!last || e.signer != owner) continue;
                    if (prev != last->txid && std::find(last->replays.begin(), last->replays.end(), prev) ==
                                                  last->replays.end())
                        continue;
                    if (!pays_address(e.transaction, p.oao_address)) continue;
                }
                out.push_back(std::move(entry));
                owner = rec_owner;
                last = &out.back();
                used[i] = 1;
                linked = true;
            }
            if (!linked) break;
        }
        return "";
    } catch (...) {
        out.clear();
        return "could not read the oao history; try again";
    }
}

bool title_owner_at(const std::string& pic, const HistoryEntry& at, std::string& owner) {
    owner.clear();
    std::vector<TitleEntry> chain;
    if (!title_chain(pic, chain).empty()) return false;
    for (const auto& t : chain) {
        if (era_compare(t.height, t.ts, at.height, at.ts) > 0) break;
        owner = t.owner;
    }
    return true;
}

bool title_holds(const SpotLoad& spot) {
    std::vector<TitleEntry> chain;
    if (!title_chain(spot.pic, chain).empty() || chain.empty()) return true;
    return chain.back().owner == normalise_key(spot.owner);
}

void reset_pair_caches() { cert_cache().clear(); }

}  // namespace ledger
