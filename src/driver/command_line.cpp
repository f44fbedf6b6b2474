#include "driver/command_line_internal.h"

#include <charconv>

namespace driver {
namespace {

constexpr int MAX_THREADS = 256;

CommandLine usage_error(std::string what) {
  CommandLine c;
  c.action = CommandLine::Action::usage_error;
  c.error = std::move(what);
  return c;
}

}  // namespace

CommandLine parse_command_line(std::span<const std::string_view> arguments) {
  CommandLine result;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (arg == "--help" || arg == "--version") {
      if (arguments.size() != 1) {
        return usage_error(std::string(arg) + " takes no other argument");
      }
      result.action = arg == "--help" ? CommandLine::Action::help : CommandLine::Action::version;
      return result;
    }
    if (arg != "--threads") {
      return usage_error("unknown argument '" + std::string(arg) + "'");
    }
    if (i + 1 >= arguments.size()) {
      return usage_error("--threads needs a number");
    }
    const std::string_view value = arguments[++i];
    int threads = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), threads);
    if (ec != std::errc() || end != value.data() + value.size() || threads < 1 ||
        threads > MAX_THREADS) {
      return usage_error("--threads needs a whole number from 1 to 256, not '" +
                         std::string(value) + "'");
    }
    result.threads = threads;
  }
  return result;
}

}  // namespace driver
