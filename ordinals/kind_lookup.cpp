#include "ordinals/kind_lookup.h"

#include "chain/http.h"
#include "chain/ord_index.h"
#include "core/json.h"
#include "ordinals/caches.h"
#include "ordinals/content.h"
#include "ordinals/envelope.h"
#include "ordinals/kinds.h"
#include "ordinals/paths.h"
#include "ordinals/rows.h"
#include "wallet/state.h"

namespace ordinals {

namespace {
constexpr long TXO_TIMEOUT_S = 12;
}

std::string inscription_kind(const std::string& origin) {
    try {
        std::string kind = kind_cache_read(origin);
        if (!kind.empty()) return kind;
        std::string txid;
        std::uint32_t vout = 0;
        if (!parse_origin(origin, txid, vout)) return "";
        wallet::WalletUnlocked unlocked;
        chain::OrdTxo txo;
        if (chain::ord_txo(txid, vout, TXO_TIMEOUT_S, txo)) {
            std::string unused_name;
            kind = txo_kind(txo, unused_name);
            if (is_kind_word(kind)) {
                kind_cache_store(origin, kind);
                return kind;
            }
        }
        core::Json tx;
        core::Bytes script;
        Inscription insc;
        if (fetch_tx_json(txid, tx) && script_from_tx_json(tx, vout, script) && parse_inscription_script(script, insc)) {
            auto tag = insc.map.find("tag");
            if (tag != insc.map.end()) {
                kind = open_kind_tag(tag->second);
                if (is_kind_word(kind)) {
                    kind_cache_store(origin, kind);
                    return kind;
                }
            }
        }
        return "";
    } catch (...) {
        return "";
    }
}

}  // namespace ordinals
