#pragma once
// The wallet application's auto-approval settings, read afresh at each admission from
// the platform folder (both files are the wallet application's; this program only
// reads them). Anything missing, unreadable or out of range means: ask.
#include <cstdint>
#include <string>

namespace bridge {

inline constexpr std::int64_t DEFAULT_SECURITY_LIMIT_SATS = 100000000;
inline constexpr std::int64_t MIN_SECURITY_LIMIT_SATS = 1000000;
inline constexpr std::int64_t MAX_SECURITY_LIMIT_SATS = 2000000000;

// nbutton_auto.json holds {"on": true}.
bool auto_approval_on(const std::string& platform_folder);
// security_limit.json's integer "sats" when it lies in MIN..MAX, else the default.
std::int64_t security_limit_sats(const std::string& platform_folder);
// Whether paying amount sats needs the yes/no question.
bool payment_needs_question(const std::string& platform_folder, std::int64_t amount);

}  // namespace bridge
