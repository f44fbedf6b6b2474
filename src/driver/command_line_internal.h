#pragma once

#include <span>
#include <string>
#include <string_view>

namespace driver {

// What the command line asks for.
struct CommandLine {
  enum class Action { run, help, version, usage_error };
  Action action = Action::run;
  int threads = 0;    // 0: one per hardware thread
  std::string error;  // for usage_error: what was wrong
};

// Parses the arguments after the program name: none (run), "--help",
// "--version", "--threads N" (N a whole number from 1 to 256).
[[nodiscard]] CommandLine parse_command_line(std::span<const std::string_view> arguments);

inline constexpr std::string_view USAGE_TEXT =
    "Usage: quarnel [--threads N]\n"
    "       quarnel --help | --version\n"
    "\n"
    "Tests for overall linkage disequilibrium among the genetic systems of each\n"
    "sample population. The run is configured by the control file group.dat in\n"
    "the working directory, which names the data file, the report file to create\n"
    "and the null and alternative groupings of the systems.\n"
    "\n"
    "Options:\n"
    "  --threads N   worker threads for the estimation (default: all hardware\n"
    "                threads); the output is the same for every N\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 at the normal end; the stop code's low 8 bits when the run\n"
    "stops (the console shows \"Return code N\"); 2 for a file or command-line error.\n";

}  // namespace driver
