#pragma once
// UTF-8 (the program's text everywhere) and UTF-16 (what the Windows calls take), only
// at the platform boundary.
#include <string>

namespace platform::win32 {

// "" for text that is not valid UTF-8 / UTF-16 (a path that cannot be converted is not
// silently replaced by a different one).
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
// Forward slashes to backslashes, for calls that do not accept both.
std::wstring widen_path(const std::string& utf8);

}  // namespace platform::win32
