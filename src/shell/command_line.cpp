#include "shell/command_line.h"

#include <algorithm>
#include <optional>

namespace corvane {
namespace {

enum class Option { help, version, discovery, interfaces };

struct OptionName {
    Option option;
    std::string_view longName;
    char shortName;
    bool takesValue;
};

constexpr OptionName optionNames[] = {
    {Option::help, "help", 'h', false},
    {Option::version, "version", 'v', false},
    {Option::discovery, "discovery", 0, true},
    {Option::interfaces, "interfaces", 0, true},
};

// The arguments taken apart: every option given (repeats too) with its value, the other
// arguments, the options not known, and the first option whose value is wrong.
struct Parsed {
    std::vector<std::pair<Option, std::string>> options;
    std::vector<std::string> positional;
    std::vector<std::string> unknown;
    std::string error;

    std::vector<std::string> values(Option option) const {
        std::vector<std::string> found;
        for (const auto& [given, value] : options) {
            if (given == option) {
                found.push_back(value);
            }
        }
        return found;
    }
    bool has(Option option) const {
        return std::ranges::any_of(options,
                                   [option](const auto& each) { return each.first == option; });
    }
};

class Parser {
  public:
    Parser(const std::vector<std::string>& arguments, const CommandLineSyntax& syntax)
        : arguments_(arguments), syntax_(syntax) {}

    Parsed parse() {
        bool optionsEnded = false;
        for (next_ = 1; next_ < arguments_.size() && parsed_.error.empty();) {
            const std::string& argument = arguments_[next_++];
            if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
                parsed_.positional.push_back(argument);
            } else if (argument == "--") {
                optionsEnded = true;
            } else if (argument.starts_with("--")) {
                longOption(argument);
            } else {
                shortOptions(argument);
            }
        }
        return std::move(parsed_);
    }

  private:
    std::optional<OptionName> find(auto matches) const {
        for (const OptionName& each : optionNames) {
            if (matches(each) && (each.option != Option::discovery || syntax_.discoveryOption)) {
                return each;
            }
        }
        return std::nullopt;
    }

    // "--name", "--name=value" or "--name value".
    void longOption(const std::string& argument) {
        const std::size_t assign = argument.find('=');
        const std::string name =
            argument.substr(2, assign == std::string::npos ? assign : assign - 2);
        const auto option = find([&](const OptionName& each) { return each.longName == name; });
        if (!option) {
            parsed_.unknown.push_back(name);
        } else if (assign != std::string::npos) {
            take(*option, argument.substr(0, assign), argument.substr(assign + 1));
        } else {
            take(*option, argument, std::nullopt);
        }
    }

    // "-hv", or "-x value" / "-xvalue" for an option that takes one.
    void shortOptions(const std::string& argument) {
        for (std::size_t at = 1; at < argument.size(); ++at) {
            const char name = argument[at];
            const auto option =
                find([&](const OptionName& each) { return each.shortName == name; });
            if (!option) {
                parsed_.unknown.emplace_back(1, name);
                continue;
            }
            const std::string rest = argument.substr(at + 1);
            if (option->takesValue || rest.starts_with('=')) {
                const std::string given = argument.substr(0, at + 1);
                take(*option, given,
                     rest.empty() ? std::nullopt
                                  : std::optional(rest.substr(rest.starts_with('=') ? 1 : 0)));
                return;
            }
            parsed_.options.emplace_back(option->option, std::string());
        }
    }

    void take(const OptionName& option, const std::string& given,
              std::optional<std::string> value) {
        if (!option.takesValue && value) {
            parsed_.error = "Unexpected value after '" + given + "'.";
            return;
        }
        if (option.takesValue && !value) {
            if (next_ == arguments_.size()) {
                parsed_.error = "Missing value after '" + given + "'.";
                return;
            }
            value = arguments_[next_++];
        }
        parsed_.options.emplace_back(option.option, value.value_or(std::string()));
    }

    const std::vector<std::string>& arguments_;
    const CommandLineSyntax& syntax_;
    std::size_t next_ = 1;
    Parsed parsed_;
};

CommandLineRequest refuse(const std::string& reason) {
    return {CommandLineRequest::Action::refuse,
            "corvane-client: " + reason + " Try corvane-client --help.",
            {}};
}

std::string unknownOptions(const std::vector<std::string>& names) {
    if (names.size() == 1) {
        return "Unknown option '" + names.front() + "'.";
    }
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return "Unknown options: " + list + ".";
}

// The interfaces named in "--interfaces=lo,eth0", or nothing when a name is empty.
std::optional<std::vector<std::string>> interfaceNames(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (comma == start) {
            return std::nullopt;
        }
        names.push_back(list.substr(start, comma - start));
        if (comma == list.size()) {
            return names;
        }
        start = comma + 1;
    }
}

}  // namespace

CommandLineRequest readCommandLine(const std::vector<std::string>& arguments,
                                   const CommandLineSyntax& syntax) {
    using Action = CommandLineRequest::Action;
    const Parsed parsed = Parser(arguments, syntax).parse();
    if (!parsed.error.empty()) {
        return refuse(parsed.error);
    }
    if (!parsed.unknown.empty()) {
        return refuse(unknownOptions(parsed.unknown));
    }
    const bool alone = parsed.options.size() == 1 && parsed.positional.empty();
    if (parsed.has(Option::version)) {
        return alone ? CommandLineRequest{Action::showVersion,
                                          "corvane-client " CORVANE_VERSION "\n",
                                          {}}
                     : refuse("--version takes no other arguments.");
    }
    if (parsed.has(Option::help)) {
        return alone ? CommandLineRequest{Action::showHelp, std::string(syntax.help), {}}
                     : refuse("--help takes no other arguments.");
    }
    if (!parsed.positional.empty()) {
        return refuse("Unexpected argument '" + parsed.positional.front() + "'.");
    }
    const std::vector<std::string> how = parsed.values(Option::discovery);
    const std::vector<std::string> where = parsed.values(Option::interfaces);
    if (how.size() > 1 || where.size() > 1) {
        return refuse(syntax.discoveryOption ? "--discovery and --interfaces are given once each."
                                             : "--interfaces is given once.");
    }
    CommandLineRequest run{Action::run, {}, {}};
    if (!where.empty()) {
        const std::optional<std::vector<std::string>> names = interfaceNames(where.front());
        if (!names) {
            return refuse("--interfaces takes names of network interfaces, separated by commas.");
        }
        run.discovery = {DiscoveryChoice::Kind::builtin, *names};
    }
    if (!how.empty()) {
        if (how.front() == "avahi" && !where.empty()) {
            return refuse(
                "--interfaces is for the built-in browser; avahi-daemon has allow-interfaces in "
                "its own file.");
        }
        if (how.front() == "avahi") {
            run.discovery.kind = DiscoveryChoice::Kind::avahi;
        } else if (how.front() == "builtin") {
            run.discovery.kind = DiscoveryChoice::Kind::builtin;
        } else {
            return refuse("--discovery takes avahi or builtin, not '" + how.front() + "'.");
        }
    }
    return run;
}

}  // namespace corvane
