#pragma once
// Result texts: "success…" means success, anything else is a user-readable error.
#include <string>
#include <string_view>

namespace core {

inline bool is_success(std::string_view text) { return text.rfind("success", 0) == 0; }
inline std::string error_text(std::string_view detail) { return "error: " + std::string(detail); }
inline std::string success_text(std::string_view detail) {
    return detail.empty() ? std::string("success") : "success: " + std::string(detail);
}

}  // namespace core
