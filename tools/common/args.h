#pragma once
// The command lines of the tools: PROGRAM [global options] COMMAND [options] [words].
// Every option and word is accounted for: an unknown option, an option given twice, a
// missing or empty value and a word more than the command takes are errors, never
// ignored or "last one wins". "--help", "-h" or "help COMMAND" ask for help.
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tools {

struct CommandSpec {
    std::string name;
    std::string synopsis;  // what follows the command word in the usage line
    std::string summary;   // what it does, for the help
    std::vector<std::string> flags;     // options without a value ("json")
    std::vector<std::string> options;   // options with a value ("to")
    std::vector<std::string> required;  // options that must be given
    std::size_t min_words = 0;
    std::size_t max_words = 0;
};

struct ProgramSpec {
    std::string name;
    std::string synopsis;  // usage line after the program name: "[--instance DIR] COMMAND [--json]"
    std::string notes;     // closing paragraph of the program's help
    std::vector<std::string> global_flags;    // allowed before or after the command
    std::vector<std::string> global_options;  // likewise, with a value
    std::vector<CommandSpec> commands;
};

struct Args {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> opts;
    std::set<std::string> flags;
    bool has(const std::string& flag) const { return flags.count(flag) > 0; }
    bool has_opt(const std::string& key) const { return opts.count(key) > 0; }
    std::string opt(const std::string& key) const {
        auto it = opts.find(key);
        return it == opts.end() ? std::string() : it->second;
    }
};

enum class Parse {
    Run,      // out holds a command to run
    Help,     // print help_text(table, out.command): the command's, or the program's when ""
    NoWords,  // nothing was given: print the program's help on stderr
    Error,    // error holds one sentence
};

// words are argv[1..]. A value is the next word or follows "=" ("--title=--x"); a
// next word starting with "--" is not taken as a value. After "--" every word is a
// word, even one starting with "-".
Parse parse_args(const ProgramSpec& table, const std::vector<std::string>& words, Args& out, std::string& error);

// The program's help (command "" ) or one command's; empty for an unknown command.
std::string help_text(const ProgramSpec& table, const std::string& command);

}  // namespace tools
