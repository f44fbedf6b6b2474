#include "support/capture.h"

#include <ostream>

namespace test_support {

CapturedSinks::CapturedSinks()
    : console_(journal_, Destination::console),
      log_(journal_, Destination::log),
      report_(journal_, Destination::report) {}

void CapturedSinks::JournalSink::write_record(std::string_view record) {
  journal_.push_back({destination_, std::string(record)});
}

std::vector<std::string> CapturedSinks::records(Destination destination) const {
  std::vector<std::string> result;
  for (const Written& written : journal_) {
    if (written.destination == destination) {
      result.push_back(written.record);
    }
  }
  return result;
}

std::vector<Destination> CapturedSinks::destination_order() const {
  std::vector<Destination> order;
  for (const Written& written : journal_) {
    if (order.empty() || order.back() != written.destination) {
      order.push_back(written.destination);
    }
  }
  return order;
}

void PrintTo(Destination destination, std::ostream* out) {
  switch (destination) {
    case Destination::console:
      *out << "console";
      break;
    case Destination::log:
      *out << "log";
      break;
    case Destination::report:
      *out << "report";
      break;
  }
}

Outcome run_capturing(const std::function<void()>& action) {
  Outcome outcome;
  try {
    action();
  } catch (const common::Stop& stop) {
    outcome.kind = Outcome::Kind::stopped;
    outcome.code = stop.code;
  } catch (const common::FileError& error) {
    outcome.kind = Outcome::Kind::file_error;
    outcome.error = error;
  }
  return outcome;
}

void PrintTo(const Outcome& outcome, std::ostream* out) {
  switch (outcome.kind) {
    case Outcome::Kind::completed:
      *out << "completed";
      break;
    case Outcome::Kind::stopped:
      *out << "stop code " << common::stop_number(outcome.code);
      break;
    case Outcome::Kind::file_error:
      *out << "file error " << outcome.error.file << ":" << outcome.error.line << ": "
           << outcome.error.what;
      break;
  }
}

namespace {

testing::AssertionResult failure(const Outcome& outcome) {
  return testing::AssertionFailure() << "the outcome is " << testing::PrintToString(outcome);
}

}  // namespace

testing::AssertionResult completed(const Outcome& outcome) {
  if (outcome.kind == Outcome::Kind::completed) {
    return testing::AssertionSuccess();
  }
  return failure(outcome);
}

testing::AssertionResult stopped_with(const Outcome& outcome, common::StopCode code) {
  if (outcome.kind == Outcome::Kind::stopped && outcome.code == code) {
    return testing::AssertionSuccess();
  }
  return failure(outcome) << ", expected stop code " << common::stop_number(code);
}

testing::AssertionResult file_error_at(const Outcome& outcome, std::string_view file, int line,
                                       std::string_view what_part) {
  if (outcome.kind == Outcome::Kind::file_error && outcome.error.file == file &&
      outcome.error.line == line && outcome.error.what.find(what_part) != std::string::npos) {
    return testing::AssertionSuccess();
  }
  return failure(outcome) << ", expected a file error at " << file << ":" << line
                          << " containing \"" << what_part << "\"";
}

}  // namespace test_support
