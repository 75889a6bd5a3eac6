#include "tools/common/report.h"

#include <cstdio>
#include <iostream>

#include "core/text.h"

namespace tools {

namespace {

// The message without control characters or its own "error: " prefix.
std::string plain_message(std::string_view message) {
    std::string text = core::trim(core::strip_controls(message));
    while (core::starts_with(text, "error:")) text = core::trim(std::string_view(text).substr(6));
    return text;
}

}  // namespace

std::string error_line(std::string_view program, std::string_view message) {
    return std::string(program) + ": error: " + plain_message(message);
}

int fail(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%s\n", error_line(program, message).c_str());
    return 1;
}

std::string json_text(const core::Json& j) { return j.dump(2, ' ', true, core::Json::error_handler_t::replace); }

void warn(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%s: warning: %s\n", std::string(program).c_str(), plain_message(message).c_str());
}

void print_json(const core::Json& j) { std::cout << json_text(j) << "\n"; }

}  // namespace tools
