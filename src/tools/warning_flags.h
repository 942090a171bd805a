// The -W options of the tools that report warnings, taken out of argv before CLI11 parses the
// rest: CLI11 knows no options joined to their value as gcc's -Wname and -Wno-name are.
#pragma once

#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <vorn/gnu_form.h>
#include <vorn/result.h>
#include <vorn/warning_options.h>

#include "command_line.h"

// The help text of the -W options and the warning names, for the tools' --help.
inline std::string warning_options_help() {
    return "Warnings:\n"
           "  -WNAME                      look for warning NAME\n"
           "  -Wno-NAME                   do not look for it\n"
           "  -Wall                       look for every warning, also those off by default\n"
           "  -Werror                     count every warning as an error (status " +
           std::to_string(vorn::StatusErrors) + ")\n"
           "  -Werror=NAME                look for NAME and count it as an error\n"
           "Warning names:\n" +
           vorn::warning_names_help();
}

// Removes every -W option from args (argv[1] on; "--" ends the options) into options. On an
// option it does not know, prints the error as the other usage errors and gives the status.
inline std::optional<int> take_warning_options(const char* tool, std::vector<char*>& args,
                                               vorn::WarningOptions& options) {
    std::vector<char*> rest;
    bool options_end = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        char* arg = args[i];
        if (i == 0 || options_end || strncmp(arg, "-W", 2) != 0) {
            options_end = options_end || (i > 0 && strcmp(arg, "--") == 0);
            rest.push_back(arg);
            continue;
        }
        if (std::optional<std::string> error = vorn::apply_warning_option(options, arg + 2)) {
            std::cerr << tool << ": " << *error << "\n"
                      << "Try '" << tool << " --help' for more.\n";
            return ExitUsage;
        }
    }
    args = std::move(rest);
    return std::nullopt;
}

// The help text of the options of the GNU form, for the tools' --help.
constexpr const char* GnuFormHelp =
    "Diagnostics:\n"
    "  -fno-diagnostics-show-caret do not show the source line and caret under a diagnostic\n"
    "  -fdiagnostics-show-caret    show them (the default)\n";

// Removes -fdiagnostics-show-caret and -fno-diagnostics-show-caret from args (argv[1] on; "--"
// ends the options) into caret: CLI11 takes no long option after a single dash.
inline void take_caret_options(std::vector<char*>& args, bool& caret) {
    std::vector<char*> rest;
    bool options_end = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        char* arg = args[i];
        if (i > 0 && !options_end && strcmp(arg, "-fdiagnostics-show-caret") == 0) {
            caret = true;
        } else if (i > 0 && !options_end && strcmp(arg, "-fno-diagnostics-show-caret") == 0) {
            caret = false;
        } else {
            options_end = options_end || (i > 0 && strcmp(arg, "--") == 0);
            rest.push_back(arg);
        }
    }
    args = std::move(rest);
}

// The --color option's values.
inline const std::map<std::string, vorn::ColourWhen> ColourChoices = {
    {"auto", vorn::ColourWhen::Auto}, {"always", vorn::ColourWhen::Always}, {"never", vorn::ColourWhen::Never}};
