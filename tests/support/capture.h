#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"

// Capturing what a routine writes and how it ends, for the tests of every module.

namespace test_support {

enum class Destination { console, log, report };

// One record written to one of the three sinks.
struct Written {
  Destination destination;
  std::string record;
};

// The console, the log and the report in memory, with one journal that keeps
// the order of records across the three. Not movable: sinks() refers to it.
class CapturedSinks {
 public:
  CapturedSinks();
  CapturedSinks(const CapturedSinks&) = delete;
  CapturedSinks& operator=(const CapturedSinks&) = delete;

  [[nodiscard]] layout::Sinks sinks() { return {console_, log_, report_}; }

  [[nodiscard]] std::vector<std::string> records(Destination destination) const;
  [[nodiscard]] std::vector<std::string> console() const { return records(Destination::console); }
  [[nodiscard]] std::vector<std::string> log() const { return records(Destination::log); }
  [[nodiscard]] std::vector<std::string> report() const { return records(Destination::report); }
  [[nodiscard]] const std::vector<Written>& journal() const { return journal_; }
  [[nodiscard]] bool empty() const { return journal_.empty(); }

  // The destinations in the order written, runs of one destination merged:
  // a message to the console and then the log gives {console, log}.
  [[nodiscard]] std::vector<Destination> destination_order() const;

 private:
  class JournalSink final : public layout::Sink {
   public:
    JournalSink(std::vector<Written>& journal, Destination destination)
        : journal_(journal), destination_(destination) {}
    void write_record(std::string_view record) override;

   private:
    std::vector<Written>& journal_;
    Destination destination_;
  };

  std::vector<Written> journal_;
  JournalSink console_;
  JournalSink log_;
  JournalSink report_;
};

void PrintTo(Destination destination, std::ostream* out);

// How a routine ended: normally, with a stop code, or with a file-layer error.
// Any other exception is left to fail the test.
struct Outcome {
  enum class Kind { completed, stopped, file_error };
  Kind kind = Kind::completed;
  common::StopCode code{};  // when stopped
  common::FileError error;  // when file_error
};

[[nodiscard]] Outcome run_capturing(const std::function<void()>& action);

void PrintTo(const Outcome& outcome, std::ostream* out);

// Assertions on an outcome, with the whole outcome in the failure text.
[[nodiscard]] testing::AssertionResult completed(const Outcome& outcome);
[[nodiscard]] testing::AssertionResult stopped_with(const Outcome& outcome, common::StopCode code);
// A file-layer error naming `file` and `line` whose text contains `what_part`.
[[nodiscard]] testing::AssertionResult file_error_at(const Outcome& outcome, std::string_view file,
                                                     int line, std::string_view what_part = {});

}  // namespace test_support
