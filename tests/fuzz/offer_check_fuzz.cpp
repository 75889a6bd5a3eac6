// The seller's checks of a sale offer before anything is signed (the part of
// finish_sale that reads the buyer's bytes): the transaction and its layout against a
// frame's terms, and the title record handed over with it. The first byte picks which;
// the title check runs offline, so its signature is never confirmed. Checks that an
// accepted layout is refused once it would spend a coin of this wallet or pay an
// address that is not the wallet's.
#include <cstddef>
#include <cstdint>

#include "chain/tx.h"
#include "ledger/sale.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const std::string BUYER = "02" + std::string(64, 'b');
const std::string OWNER = "03" + std::string(64, 'd');
const std::string TITLE = R"({"type":"art_owner"})";

ledger::OfferTerms terms() {
    ledger::OfferTerms t;
    t.pic_utxo = std::string(64, '1') + "_0";
    t.cert_utxo = std::string(64, '2') + "_1";
    t.price = 100000;
    t.pay_addr = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";
    t.fee_address = "1J7mdg5rbQyUHENYdx39WVWK7fsLpEoXZy";
    t.oao_address = "1BgGZ9tcN4rm9KBzDn7KprQz87SZ26SAMH";
    ledger::AskEntry ask;
    ask.txid = std::string(64, '3');
    ask.buyer = BUYER;
    ask.buyer_ord = "1Hyoxs2Lp5dKW95bFyKh2JCtwsuS8PqML8";
    ask.price = t.price;
    t.asks = {ask};
    ledger::AcceptEntry accept;
    accept.txid = std::string(64, '4');
    accept.buyer = BUYER;
    accept.title_json = TITLE;
    accept.price = t.price;
    t.accepts = {accept};
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::platform_dir();
    fuzz_support::go_offline();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        ledger::SpotLoad spot;
        spot.pic = std::string(64, 'e');
        spot.cert = std::string(64, 'f');
        spot.owner = OWNER;
        std::string error;
        if (ledger::check_title(std::string(fuzz_support::text_of(data + 1, size - 1)), spot, BUYER,
                                std::string(64, '5'), error))
            fuzz_support::fail("a title passed with no identity registry to confirm its signer");
        if (error.empty()) fuzz_support::fail("a refused title gives no reason");
        return 0;
    }
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outputs;
    if (!chain::parse_tx(core::Bytes(data + 1, data + size), inputs, outputs)) return 0;
    const ledger::OfferTerms t = terms();
    std::string error;
    const auto none = [](std::size_t) { return false; };
    if (!ledger::check_offer_layout(inputs, outputs, t, BUYER, none, true, error)) {
        if (error.rfind("error: ", 0) != 0) fuzz_support::fail("a refused offer gives no error text");
        return 0;
    }
    const auto last = [&inputs](std::size_t i) { return i + 1 == inputs.size(); };
    if (ledger::check_offer_layout(inputs, outputs, t, BUYER, last, true, error))
        fuzz_support::fail("an offer spending a coin of this wallet passed");
    if (ledger::check_offer_layout(inputs, outputs, t, BUYER, none, false, error))
        fuzz_support::fail("an offer paying an address that is not this wallet's passed");
    return 0;
}
