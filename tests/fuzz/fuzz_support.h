#pragma once
// What the fuzz targets share: the input as text, and a platform folder of this process
// for readers that only take their file from there.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz_support {

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// LOCALAPPDATA pointed at a fresh temporary folder, made once per process; the platform
// folder below it (created) is returned. Removed when the process ends normally.
const std::string& platform_dir();

// Writes text to path whole (truncating); aborts when it cannot, since a target that
// silently reads nothing would fuzz nothing.
void write_file(const std::string& path, std::string_view text);

// The main-net profile with every service root emptied, so any request a reader might
// make fails before it leaves the process; the proxy variables point at a closed local
// port as a second guard. Call once, before the first input.
void go_offline();

// Aborts with the message: an invariant of a target does not hold.
[[noreturn]] void fail(const char* what);

}  // namespace fuzz_support
