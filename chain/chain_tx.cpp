#include "chain/chain_tx.h"

#include <vector>

#include "chain/tx.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace chain {

bool raw_matches_txid(const core::Bytes& raw, const std::string& txid) {
    return !raw.empty() && core::is_txid(txid) && tx_id(raw) == core::lower_ascii(txid);
}

bool tx_json_cut(const core::Json& tx) {
    if (!tx.is_object() || !tx.contains("vout") || !tx["vout"].is_array()) return false;
    for (const auto& o : tx["vout"]) {
        if (!o.is_object()) continue;
        if (core::json_bool(o, "isTruncated")) return true;
        const auto spk = o.find("scriptPubKey");
        if (spk != o.end() && spk->is_object() && core::json_bool(*spk, "isTruncated")) return true;
    }
    return false;
}

core::Json tx_json(const ChainTx& tx) {
    std::vector<TxInput> inputs;
    std::vector<TxOutput> outputs;
    if (!parse_tx(tx.raw, inputs, outputs)) return nullptr;
    core::Json vin = core::Json::array(), vout = core::Json::array();
    for (const auto& in : inputs) vin.push_back({{"txid", in.txid}, {"vout", in.vout}});
    for (std::size_t n = 0; n < outputs.size(); ++n) {
        const TxOutput& o = outputs[n];
        const std::string address = wallet::p2pkh_address(o.script);
        core::Json addresses = core::Json::array();
        if (!address.empty()) addresses.push_back(address);
        vout.push_back({{"n", n},
                        {"valueSat", o.value},
                        {"value", static_cast<double>(o.value) / 1e8},
                        {"scriptPubKey", {{"hex", core::to_hex(o.script)}, {"addresses", addresses}}}});
    }
    core::Json j = {{"txid", core::lower_ascii(tx.txid)}, {"size", tx.raw.size()}, {"vin", vin}, {"vout", vout}};
    if (tx.confirmed()) {
        j["blockheight"] = tx.height;
        j["blocktime"] = tx.block_time;
        j["time"] = tx.block_time;
    }
    return j;
}

}  // namespace chain
