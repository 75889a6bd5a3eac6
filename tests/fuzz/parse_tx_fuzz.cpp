// Raw transactions from other users (offers, fetched transactions). Checks that a parsed
// transaction written out again parses to the same inputs and outputs.
#include <cstddef>
#include <cstdint>

#include "chain/tx.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::Bytes raw(data, data + size);
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outputs;
    if (!chain::parse_tx(raw, inputs, outputs)) {
        if (!inputs.empty() || !outputs.empty()) fuzz_support::fail("a refused transaction left items behind");
        return 0;
    }
    if (inputs.empty() || outputs.empty() || inputs.size() > chain::MAX_TX_ITEMS || outputs.size() > chain::MAX_TX_ITEMS)
        fuzz_support::fail("item counts outside 1..MAX_TX_ITEMS were taken");
    core::Bytes again = chain::serialize_tx(inputs, outputs, false);
    if (again.empty()) fuzz_support::fail("a parsed transaction does not serialise");
    std::vector<chain::TxInput> inputs2;
    std::vector<chain::TxOutput> outputs2;
    if (!chain::parse_tx(again, inputs2, outputs2)) fuzz_support::fail("a serialised transaction does not parse");
    if (inputs2.size() != inputs.size() || outputs2.size() != outputs.size()) fuzz_support::fail("counts changed");
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (inputs2[i].txid != inputs[i].txid || inputs2[i].vout != inputs[i].vout ||
            inputs2[i].unlocking_script != inputs[i].unlocking_script)
            fuzz_support::fail("an input changed through serialise and parse");
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (outputs2[i].value != outputs[i].value || outputs2[i].script != outputs[i].script)
            fuzz_support::fail("an output changed through serialise and parse");
    return 0;
}
