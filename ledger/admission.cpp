#include "ledger/admission.h"

#include "core/json.h"
#include "core/profile.h"
#include "ledger/identity_checks.h"
#include "ledger/records.h"

namespace ledger {

std::string gallery_enter() {
    std::string error;
    if (!may_act(error)) return error;
    core::Json record = {{"protocol", RECORD_PROTOCOL}, {"type", "art_gentry"}, {"location", "art"}};
    // Watch and fee address are the same: the posting makes one output of the fee there
    // and no separate 1-sat hook.
    const std::string& address = core::profile().admission_address;
    return post_record(record, address, address, ADMISSION_SATS);
}

}  // namespace ledger
