#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"

// Capturing what a routine writes and how it ends, for the tests of every module.

namespace test_support {

enum class Destination { console, log, report, help };

// One record written to one of the three sinks.
struct Written {
  Destination destination;
  std::string record;
  friend bool operator==(const Written&, const Written&) = default;
};

void PrintTo(Destination destination, std::ostream* out);
inline void PrintTo(const Written& written, std::ostream* out) {
  PrintTo(written.destination, out);
  *out << "|" << written.record;
}

// The journal of one message written whole to each destination in turn.
[[nodiscard]] std::vector<Written> written_to(const std::vector<Destination>& destinations,
                                              const std::vector<std::string>& records);

// The console, the log, the report and the help channel in memory, with one
// journal that keeps the order of records across the four. Not movable:
// sinks() refers to it.
class CapturedSinks {
 public:
  CapturedSinks() = default;
  CapturedSinks(const CapturedSinks&) = delete;
  CapturedSinks& operator=(const CapturedSinks&) = delete;

  [[nodiscard]] layout::Sinks sinks() { return {console_, log_, report_, &help_}; }
  [[nodiscard]] const std::vector<Written>& journal() const { return journal_; }

 private:
  struct JournalSink final : layout::Sink {
    JournalSink(std::vector<Written>& into, Destination to) : journal(into), destination(to) {}
    void write_record(std::string_view record) override {
      journal.push_back({destination, std::string(record)});
    }
    std::vector<Written>& journal;
    Destination destination;
  };

  std::vector<Written> journal_;
  JournalSink console_{journal_, Destination::console};
  JournalSink log_{journal_, Destination::log};
  JournalSink report_{journal_, Destination::report};
  JournalSink help_{journal_, Destination::help};
};

// How a routine ended: normally, with a stop code, or with a file-layer error.
// Any other exception is left to fail the test.
struct Outcome {
  enum class Kind { completed, stopped, file_error };
  Kind kind = Kind::completed;
  common::StopCode code{};  // when stopped
  std::string explanation;  // when stopped
  common::FileError error;  // when file_error
};

[[nodiscard]] Outcome run_capturing(const std::function<void()>& action);

// "file:line: what" of the common::FileError that action throws; "" when it
// throws none.
[[nodiscard]] std::string error_of(const std::function<void()>& action);

// Shown as "completed", "stop code N: explanation" or "file error FILE:LINE: what".
void PrintTo(const Outcome& outcome, std::ostream* out);

// The outcome as shown begins with `expected`, and not in the middle of a
// number: "stop code 1" does not match stop code 105.
[[nodiscard]] testing::AssertionResult ended(const Outcome& outcome, std::string_view expected);
[[nodiscard]] inline testing::AssertionResult completed(const Outcome& outcome) {
  return ended(outcome, "completed");
}
[[nodiscard]] inline testing::AssertionResult stopped_with(const Outcome& outcome,
                                                           common::StopCode code) {
  return ended(outcome, "stop code " + std::to_string(common::stop_number(code)));
}

}  // namespace test_support
