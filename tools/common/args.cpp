#include "tools/common/args.h"

#include <algorithm>

namespace tools {

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

const CommandSpec* find_command(const ProgramSpec& table, const std::string& name) {
    for (const auto& c : table.commands)
        if (c.name == name) return &c;
    return nullptr;
}

bool is_help_word(const std::string& word) { return word == "--help" || word == "-h"; }

std::string see_help(const ProgramSpec& table, const std::string& command) {
    return "; see " + table.name + (command.empty() ? "" : " " + command) + " --help";
}

}  // namespace

Parse parse_args(const ProgramSpec& table, const std::vector<std::string>& words, Args& out, std::string& error) {
    out = Args{};
    error.clear();
    if (words.empty()) return Parse::NoWords;

    // Help first, so that a half-typed line ("send --to --help") still shows it.
    auto dashdash = std::find(words.begin(), words.end(), std::string("--"));
    std::vector<std::string> plain;  // words before "--" that are not options
    for (auto it = words.begin(); it != dashdash; ++it)
        if (it->empty() || (*it)[0] != '-') plain.push_back(*it);
    if (!plain.empty() && plain[0] == "help") {
        if (plain.size() > 2) {
            error = "help takes one command" + see_help(table, "");
            return Parse::Error;
        }
        if (plain.size() == 2) {
            if (!find_command(table, plain[1])) {
                error = "unknown command \"" + plain[1] + "\"" + see_help(table, "");
                return Parse::Error;
            }
            out.command = plain[1];
        }
        return Parse::Help;
    }
    if (std::any_of(words.begin(), dashdash, is_help_word)) {
        // Option values are plain words too ("--instance DIR status --help"): the
        // command is the first plain word that names one.
        for (const auto& w : plain) {
            if (find_command(table, w)) {
                out.command = w;
                break;
            }
        }
        return Parse::Help;
    }

    const CommandSpec* cmd = nullptr;
    bool words_only = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        bool option = !words_only && word.size() > 1 && word[0] == '-';
        if (!words_only && word == "--") {
            words_only = true;
            continue;
        }
        if (!option) {
            if (!cmd) {
                cmd = find_command(table, word);
                if (!cmd) {
                    error = "unknown command \"" + word + "\"" + see_help(table, "");
                    return Parse::Error;
                }
                out.command = word;
            } else {
                out.positional.push_back(word);
            }
            continue;
        }
        std::string where = cmd ? cmd->name : "";
        if (word[1] != '-') {
            error = "unknown option " + word + see_help(table, where);
            return Parse::Error;
        }
        std::string name = word.substr(2);
        std::string value;
        bool has_value = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            has_value = true;
        }
        bool is_flag = listed(table.global_flags, name) || (cmd && listed(cmd->flags, name));
        bool takes_value = listed(table.global_options, name) || (cmd && listed(cmd->options, name));
        if (!is_flag && !takes_value) {
            error = "unknown option --" + name + (cmd ? " for " + cmd->name : "") + see_help(table, where);
            return Parse::Error;
        }
        if (out.flags.count(name) || out.opts.count(name)) {
            error = "option --" + name + " is given twice";
            return Parse::Error;
        }
        if (is_flag) {
            if (has_value) {
                error = "option --" + name + " takes no value";
                return Parse::Error;
            }
            out.flags.insert(name);
            continue;
        }
        if (!has_value && i + 1 < words.size() && words[i + 1].rfind("--", 0) != 0) {
            value = words[++i];
            has_value = true;
        }
        if (!has_value || value.empty()) {
            error = "option --" + name + " needs a value";
            return Parse::Error;
        }
        out.opts[name] = value;
    }
    if (!cmd) return Parse::NoWords;
    if (out.positional.size() > cmd->max_words) {
        error = "unexpected word \"" + out.positional[cmd->max_words] + "\"" + see_help(table, cmd->name);
        return Parse::Error;
    }
    if (out.positional.size() < cmd->min_words) {
        error = "missing words; usage: " + table.name + " " + cmd->name + " " + cmd->synopsis;
        return Parse::Error;
    }
    for (const auto& r : cmd->required) {
        if (!out.opts.count(r)) {
            error = cmd->name + " needs --" + r + "; usage: " + table.name + " " + cmd->name + " " + cmd->synopsis;
            return Parse::Error;
        }
    }
    return Parse::Run;
}

std::string help_text(const ProgramSpec& table, const std::string& command) {
    if (!command.empty()) {
        const CommandSpec* c = find_command(table, command);
        if (!c) return "";
        std::string usage = "usage: " + table.name + " " + c->name;
        if (!c->synopsis.empty()) usage += " " + c->synopsis;
        return usage + "\n\n" + c->summary + "\n";
    }
    std::string out = "usage: " + table.name + " " + table.synopsis + "\n\n";
    for (const auto& c : table.commands) {
        out += "  " + c.name;
        if (!c.synopsis.empty()) out += " " + c.synopsis;
        std::string summary = c.summary;
        for (std::size_t at = summary.find('\n'); at != std::string::npos; at = summary.find('\n', at + 7))
            summary.replace(at, 1, "\n      ");
        out += "\n      " + summary + "\n";
    }
    if (!table.notes.empty()) out += "\n" + table.notes;
    out += "\n" + table.name + " COMMAND --help tells more of one command.\n";
    return out;
}

}  // namespace tools
