// Fuzz target for the control file: the input is a whole group.dat. The file
// names and both groupings are read (with their checks) against four systems
// of 2, 3, 4 and 5 alleles. Contract: success, common::Stop or
// common::FileError; anything else is a bug.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "common/stop.h"
#include "common/tables.h"
#include "input/input.h"
#include "layout/layout.h"

namespace {

void read_control(std::istream& in) {
  layout::RecordReader control(in, "group.dat");
  layout::MemorySink console;
  layout::MemorySink log;
  layout::MemorySink report;
  const layout::Sinks sinks{console, log, report};
  static_cast<void>(input::read_file_names(control));
  common::SystemTables systems;
  systems.allele_count = {2, 3, 4, 5};
  common::Grouping null_grouping;
  common::Grouping alt_grouping;
  input::read_groupings(control, systems, null_grouping, alt_grouping, sinks);
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    read_control(in);
  } catch (const common::Stop&) {
    // A stop code is a defined end of the run.
  } catch (const common::FileError&) {
    // So is an error of the file layer.
  }
  return 0;
}
