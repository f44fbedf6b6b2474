#include "cli/progress.h"

#include <unistd.h>

#include <charconv>
#include <string>

namespace cli {
namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);

// Seconds with one decimal, without locale or stream formatting.
std::string seconds_text(double seconds) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
  return std::string(buffer, result.ptr) + " s";
}

}  // namespace

bool error_stream_is_terminal() { return isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine(std::ostream& out, bool shown)
    : out_(out), shown_(shown), start_(Clock::now()), last_draw_(start_) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::update(int done, int total) {
  if (!shown_) {
    return;
  }
  const Clock::time_point now = Clock::now();
  if (done < total && drawn_ && now - last_draw_ < REDRAW_INTERVAL) {
    return;
  }
  last_draw_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double rest = done > 0 ? elapsed * (total - done) / done : 0.0;
  out_ << "\rdata sets " << done << " of " << total << ", " << seconds_text(elapsed)
       << " elapsed, about " << seconds_text(rest) << " to go   " << std::flush;
  drawn_ = true;
}

void ProgressLine::clear() {
  if (drawn_) {
    out_ << '\r' << std::string(72, ' ') << '\r' << std::flush;
    drawn_ = false;
  }
}

std::function<void(int, int)> ProgressLine::callback() {
  return [this](int done, int total) { update(done, total); };
}

}  // namespace cli
