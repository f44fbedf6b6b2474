#include "support/capture.h"

namespace test_support {

void PrintTo(Destination destination, std::ostream* out) {
  constexpr const char* names[] = {"console", "log", "report", "help"};
  *out << names[static_cast<int>(destination)];
}

std::vector<Written> written_to(const std::vector<Destination>& destinations,
                                const std::vector<std::string>& records) {
  std::vector<Written> journal;
  for (const Destination destination : destinations) {
    for (const std::string& record : records) {
      journal.push_back({destination, record});
    }
  }
  return journal;
}

Outcome run_capturing(const std::function<void()>& action) {
  Outcome outcome;
  try {
    action();
  } catch (const common::Stop& stop) {
    outcome.kind = Outcome::Kind::stopped;
    outcome.code = stop.code;
    outcome.explanation = stop.explanation;
  } catch (const common::FileError& error) {
    outcome.kind = Outcome::Kind::file_error;
    outcome.error = error;
  } catch (const common::MemoryRefusal& refusal) {
    // As the program reports it.
    outcome.kind = Outcome::Kind::file_error;
    outcome.error = common::FileError{"", 0, refusal.what};
  }
  return outcome;
}

std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const common::FileError& error) {
    return error.file + ":" + std::to_string(error.line) + ": " + error.what;
  }
  return "";
}

void PrintTo(const Outcome& outcome, std::ostream* out) {
  if (outcome.kind == Outcome::Kind::completed) {
    *out << "completed";
  } else if (outcome.kind == Outcome::Kind::stopped) {
    *out << "stop code " << common::stop_number(outcome.code) << ": " << outcome.explanation;
  } else {
    *out << "file error " << outcome.error.file << ":" << outcome.error.line << ": "
         << outcome.error.what;
  }
}

testing::AssertionResult ended(const Outcome& outcome, std::string_view expected) {
  const std::string shown = testing::PrintToString(outcome);
  const char next = shown.size() > expected.size() ? shown[expected.size()] : ' ';
  if (shown.starts_with(expected) && (next < '0' || next > '9')) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "the outcome is " << shown << ", expected " << expected;
}

}  // namespace test_support
