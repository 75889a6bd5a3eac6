// Output scripts read as 1Sat inscriptions: the envelope, its owner lock and the MAP
// metadata after it, and the display name taken from them. Checks the owner is a key
// hash whenever an inscription is read.
#include <cstddef>
#include <cstdint>

#include "ordinals/content.h"
#include "ordinals/envelope.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::Bytes script(data, data + size);
    ordinals::Inscription insc;
    if (ordinals::parse_inscription_script(script, insc)) {
        if (insc.owner_hash.size() != 20) fuzz_support::fail("an inscription's owner is not a 20-byte hash");
        (void)ordinals::inscription_name(insc);
    }
    ordinals::Content content;
    (void)ordinals::content_from_script(script, content);
    return 0;
}
