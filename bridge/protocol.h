#pragma once
// The page protocol's transport: page messages in (UTF-8 JSON text, one object with a
// string "op") to one handler each, and host messages out through the shell port.
#include <cstddef>
#include <string_view>

#include "core/json.h"

namespace bridge {

// The room page sends a few hundred bytes at most; anything longer is not its own.
inline constexpr std::size_t MAX_PAGE_MESSAGE_BYTES = 64 * 1024;

// User-interface thread. Calls the handler of the message's op and returns at once.
// Text that is not a JSON object, is too long, or names no known op is ignored; members
// of another type than the protocol's count as absent.
void dispatch_page_message(std::string_view utf8_json);

// "spot" as an int: 0 when absent, not an integer, or far outside any frame number.
int spot_member(const core::Json& message);

// Any thread: serialises the object compactly (bad UTF-8 replaced) and posts it for
// the page through the shell port; dropped while no port is installed.
void post_page_reply(const core::Json& message);

}  // namespace bridge
