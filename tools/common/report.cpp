#include "tools/common/report.h"

#include <cstdio>
#include <iostream>

#include "core/profile.h"
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

bool start_command(const ProgramSpec& table, int argc, char** argv, Args& args, int& exit_code) {
    std::string error;
    switch (parse_args(table, std::vector<std::string>(argv + 1, argv + argc), args, error)) {
    case Parse::Help:
        std::fputs(help_text(table, args.command).c_str(), stdout);
        exit_code = 0;
        return false;
    case Parse::NoWords:
        std::fputs(help_text(table, "").c_str(), stderr);
        exit_code = 2;
        return false;
    case Parse::Error:
        exit_code = fail(table.name, error);
        return false;
    case Parse::Run:
        break;
    }
    if (std::string profile_error = core::profile_error(); !profile_error.empty()) {
        exit_code = fail(table.name, profile_error);
        return false;
    }
    return true;
}

std::string json_text(const core::Json& j) { return j.dump(2, ' ', true, core::Json::error_handler_t::replace); }

void warn(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%s: warning: %s\n", std::string(program).c_str(), plain_message(message).c_str());
}

void print_json(const core::Json& j) { std::cout << json_text(j) << "\n"; }

}  // namespace tools
