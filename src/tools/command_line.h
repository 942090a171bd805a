// The command line of the tools that parse their options with CLI11, handled one way: --help
// and --version print to standard output and end the run with 0; anything wrong prints the
// error and a usage line on standard error and ends it with 1.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

constexpr int ExitUsage = 1;

// Parses argv into app's options, then runs check, which may throw CLI::ValidationError for
// what the options cannot say themselves. Returns the status to end with, or nothing to go on.
template <typename Check>
std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv, const char* usage,
                                      Check check) {
    try {
        app.parse(argc, argv);
        check();
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << app.get_name() << ": " << error.what() << "\n"
                  << "usage: " << app.get_name() << " " << usage << "\n"
                  << "Try '" << app.get_name() << " --help' for more.\n";
        return ExitUsage;
    }
    return std::nullopt;
}
