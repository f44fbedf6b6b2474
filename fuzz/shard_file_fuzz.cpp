// Fuzz target for the reading of a shard file (quarnel merge): the input is
// read twice, as the whole file and as the body of one whose first line and
// checksum are right, so that the parser behind the checksum is reached.
// Contract: a shard file or common::FileError; anything else is a bug.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/run_record.h"
#include "cli/shard_file.h"
#include "common/stop.h"

namespace {

void read(const std::string& bytes) {
  try {
    (void)cli::read_shard_file("fuzz.shard", bytes);
  } catch (const common::FileError&) {
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  read(input);
  std::string whole = "quarnel shard file 1\n" + input;
  whole += "\nsha256 " + cli::text_sha256(whole) + "\n";
  read(whole);
  return 0;
}
