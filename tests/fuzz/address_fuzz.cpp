// Base58 and Base58Check address text (pasted addresses, addresses in replies). Checks
// that decoded text encodes back to the same text.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "wallet/keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz_support::text_of(data, size);
    core::Bytes bytes;
    if (wallet::base58_decode(text, bytes) && wallet::base58_encode(bytes) != text)
        fuzz_support::fail("Base58 text does not encode back to itself");
    core::Bytes h20;
    if (wallet::hash160_from_address(text, h20)) {
        if (h20.size() != 20) fuzz_support::fail("an address decoded to a hash that is not 20 bytes");
        if (wallet::address_from_hash160(h20) != text) fuzz_support::fail("an address does not encode back to itself");
    }
    return 0;
}
