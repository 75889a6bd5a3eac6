// The tools' shared command-line parser: every word is accounted for.
#include <gtest/gtest.h>

#include "tools/common/args.h"
#include "tools/common/report.h"

namespace {

tools::ProgramSpec table() {
    tools::ProgramSpec p;
    p.name = "prog";
    p.synopsis = "[--instance DIR] COMMAND";
    p.global_flags = {"json"};
    p.global_options = {"instance"};
    p.commands = {
        {"send", "--to A [--note N]", "Sends.", {"dry"}, {"to", "note"}, {"to"}, 0, 0},
        {"name", "ALIAS", "Names.", {}, {}, {}, 1, 1},
        {"show", "[ID]", "Shows.", {}, {}, {}, 0, 1},
    };
    return p;
}

struct Row {
    std::vector<std::string> words;
    tools::Parse outcome;
    std::string error_or_command;  // the error for Error, the command for Run and Help
};

}  // namespace

TEST(Args, OutcomesOfWholeLines) {
    const Row rows[] = {
        {{}, tools::Parse::NoWords, ""},
        {{"--json"}, tools::Parse::NoWords, ""},
        {{"send", "--to", "a"}, tools::Parse::Run, "send"},
        {{"--instance", "/x", "show", "--json"}, tools::Parse::Run, "show"},
        {{"show", "--instance", "/x", "w1"}, tools::Parse::Run, "show"},
        {{"fly"}, tools::Parse::Error, "unknown command \"fly\"; see prog --help"},
        {{"send", "--to", "a", "--bogus"}, tools::Parse::Error, "unknown option --bogus for send; see prog send --help"},
        {{"--dry", "send", "--to", "a"}, tools::Parse::Error, "unknown option --dry; see prog --help"},
        {{"send", "-x", "--to", "a"}, tools::Parse::Error, "unknown option -x; see prog send --help"},
        {{"send", "--to", "a", "--to", "b"}, tools::Parse::Error, "option --to is given twice"},
        {{"send", "--to=a", "--to", "a"}, tools::Parse::Error, "option --to is given twice"},
        {{"--json", "show", "--json"}, tools::Parse::Error, "option --json is given twice"},
        {{"send", "--to", "a", "--dry", "--dry"}, tools::Parse::Error, "option --dry is given twice"},
        {{"send", "--to", "a", "b"}, tools::Parse::Error, "unexpected word \"b\"; see prog send --help"},
        {{"show", "w1", "w2"}, tools::Parse::Error, "unexpected word \"w2\"; see prog show --help"},
        {{"name"}, tools::Parse::Error, "missing words; usage: prog name ALIAS"},
        {{"send"}, tools::Parse::Error, "send needs --to; usage: prog send --to A [--note N]"},
        {{"send", "--to"}, tools::Parse::Error, "option --to needs a value"},
        {{"send", "--to", ""}, tools::Parse::Error, "option --to needs a value"},
        {{"send", "--to="}, tools::Parse::Error, "option --to needs a value"},
        {{"send", "--to", "--dry"}, tools::Parse::Error, "option --to needs a value"},
        {{"send", "--to", "a", "--dry=yes"}, tools::Parse::Error, "option --dry takes no value"},
        {{"send", "--help"}, tools::Parse::Help, "send"},
        {{"send", "--to", "--help"}, tools::Parse::Help, "send"},
        {{"--instance", "/x", "show", "-h"}, tools::Parse::Help, "show"},
        {{"--help"}, tools::Parse::Help, ""},
        {{"help"}, tools::Parse::Help, ""},
        {{"help", "name"}, tools::Parse::Help, "name"},
        {{"help", "fly"}, tools::Parse::Error, "unknown command \"fly\"; see prog --help"},
        {{"help", "name", "show"}, tools::Parse::Error, "help takes one command; see prog --help"},
        {{"name", "--", "--help"}, tools::Parse::Run, "name"},
    };
    for (const auto& r : rows) {
        std::string line;
        for (const auto& w : r.words) line += "[" + w + "]";
        SCOPED_TRACE(line);
        tools::Args a;
        std::string error;
        EXPECT_EQ(tools::parse_args(table(), r.words, a, error), r.outcome);
        if (r.outcome == tools::Parse::Error) {
            EXPECT_EQ(error, r.error_or_command);
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(a.command, r.error_or_command);
        }
    }
}

TEST(Args, ValuesFlagsAndWordsLandWhereTheyBelong) {
    tools::Args a;
    std::string error;
    ASSERT_EQ(tools::parse_args(table(), {"--instance", "/i", "send", "--note=--not-an-option", "--to", "x y", "--dry", "--json"},
                                a, error),
              tools::Parse::Run)
        << error;
    EXPECT_EQ(a.opt("instance"), "/i");
    EXPECT_EQ(a.opt("note"), "--not-an-option");
    EXPECT_EQ(a.opt("to"), "x y");
    EXPECT_TRUE(a.has("dry"));
    EXPECT_TRUE(a.has("json"));
    EXPECT_TRUE(a.positional.empty());
    // After "--" a word starting with "-" is a word, not an option.
    ASSERT_EQ(tools::parse_args(table(), {"name", "--", "-dash"}, a, error), tools::Parse::Run) << error;
    EXPECT_EQ(a.positional, std::vector<std::string>{"-dash"});
    EXPECT_FALSE(a.has("json"));  // nothing carried over from the last parse
}

TEST(Args, HelpTextsComeFromTheSpecs) {
    EXPECT_EQ(tools::help_text(table(), "name"), "usage: prog name ALIAS\n\nNames.\n");
    std::string all = tools::help_text(table(), "");
    EXPECT_EQ(all.rfind("usage: prog [--instance DIR] COMMAND\n", 0), 0u) << all;
    for (const char* line : {"  send --to A [--note N]\n      Sends.\n", "  name ALIAS\n", "  show [ID]\n"})
        EXPECT_NE(all.find(line), std::string::npos) << line;
    EXPECT_EQ(tools::help_text(table(), "fly"), "");
}

TEST(Report, OneErrorPrefixAndNoControlCharacters) {
    EXPECT_EQ(tools::error_line("prog", "no wallet"), "prog: error: no wallet");
    EXPECT_EQ(tools::error_line("prog", "error: connect denied in Wendrel."), "prog: error: connect denied in Wendrel.");
    EXPECT_EQ(tools::error_line("prog", "error: error: twice"), "prog: error: twice");
    EXPECT_EQ(tools::error_line("prog", "HTTP 500 \xe2\x80\x93 \x1b[2Jbad\nbody\r\n"), "prog: error: HTTP 500 \xe2\x80\x93 bad body");
}
