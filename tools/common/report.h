#pragma once
// How the tools speak: one error line on stderr, JSON on stdout.
#include <string>
#include <string_view>

#include "core/json.h"
#include "tools/common/args.h"

namespace tools {

// "PROGRAM: error: MESSAGE". A message that is already an operation's "error: …" result
// keeps one prefix; control characters are stripped (messages carry outside text).
std::string error_line(std::string_view program, std::string_view message);
// Prints error_line on stderr and returns the exit code 1.
int fail(std::string_view program, std::string_view message);
// "PROGRAM: warning: MESSAGE" on stderr, for a result that is shown all the same.
void warn(std::string_view program, std::string_view message);

// The start of every tool: parses argv[1..] against table and answers help and errors
// itself (help on stdout and exit 0; no words: the program's help on stderr and exit 2; an
// error line and exit 1), and stops when the network profile did not load, so a broken
// profile never turns into main net. True with args filled when a command is to run;
// otherwise exit_code is the program's exit code.
bool start_command(const ProgramSpec& table, int argc, char** argv, Args& args, int& exit_code);

// Indent 2, non-ASCII written as \u escapes, so no outside text reaches the terminal raw
// (C1 controls included, which plain JSON leaves as they are).
std::string json_text(const core::Json& j);
void print_json(const core::Json& j);

}  // namespace tools
