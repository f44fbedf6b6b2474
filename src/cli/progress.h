#pragma once

#include <chrono>
#include <functional>
#include <ostream>

// The self-updating progress line of the genotype-table mode on standard
// error: data sets done of the total, the time elapsed and an estimate of the
// rest. Shown only on a terminal, so that a log of standard error stays clean.

namespace cli {

class ProgressLine {
 public:
  // A line on `out` when `shown`; otherwise nothing is ever written.
  ProgressLine(std::ostream& out, bool shown);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Shows that `done` of `total` data sets are finished; redraws at most a
  // few times a second.
  void update(int done, int total);
  // Removes the line (also done by the destructor).
  void clear();

  // An adapter for common::RunOptions::progress; the line must outlive it.
  [[nodiscard]] std::function<void(int, int)> callback();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  bool shown_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

// Whether standard error is a terminal.
[[nodiscard]] bool error_stream_is_terminal();

}  // namespace cli
