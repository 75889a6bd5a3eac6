// Content bytes from the ordinals host and the chain: the type is taken from the first
// bytes. Checks the answer is one of the known types.
#include <cstddef>
#include <cstdint>

#include "ordinals/content.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string type = ordinals::sniff_content_type(fuzz_support::text_of(data, size));
    for (const char* known : {"image/png", "image/jpeg", "image/webp", "image/gif", "application/pdf",
                              "application/octet-stream"})
        if (type == known) return 0;
    fuzz_support::fail("a sniffed type outside the known ones");
}
