// Fuzz target for a whole run from a genotype table in memory: the input's
// first byte picks the permutation count, the observer (classic or quiet) and the
// delimiter; the rest is the table. The run is the overall test of every
// locus, then the test of the first locus pair. Contract: success, common::Stop or
// common::FileError; anything else is a bug. Tables whose expansion would be
// large (more than 4 loci or 6 alleles at a locus) are passed over, so that
// every input runs in milliseconds.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "common/stop.h"
#include "driver/driver.h"
#include "layout/layout.h"
#include "table/table.h"

namespace {

bool small_enough(const common::RunInput& input) {
  if (input.systems.system_count() > 4) {
    return false;
  }
  for (const int count : input.systems.allele_count) {
    if (count > 6) {
      return false;
    }
  }
  return true;
}

// The observer of a run that shows nothing while it goes on.
class QuietObserver final : public driver::RunObserver {
 public:
  void build_messages(int /*dataset_number*/, const layout::MemorySink& /*console*/,
                      const layout::MemorySink& /*log*/) override {}
  void data_set_built(int /*dataset_number*/) override {}
  void attempts_redrawn(int /*dataset_number*/, int /*redrawn*/) override {}
  void em_fit(const driver::EmFit& /*fit*/) override {}
};

void run_test(const genotypes::GenotypeData& genotypes, const genotypes::TestSpec& test,
              const common::RunOptions& options, bool classic) {
  const genotypes::TestInput made = genotypes::make_run_input(genotypes, test);
  if (!small_enough(made.input)) {
    return;
  }
  layout::DiscardSink console;
  layout::MemorySink log;
  layout::DiscardSink report;
  driver::ClassicObserver classic_observer(console, log);
  QuietObserver quiet;
  driver::RunObserver& observer =
      classic ? static_cast<driver::RunObserver&>(classic_observer) : quiet;
  static_cast<void>(driver::run_analysis(made.input, options, {console, log, report}, observer));
}

void run_table(std::uint8_t settings, const std::string& text) {
  std::istringstream in(text);
  table::TableOptions read_options;
  read_options.delimiter = (settings & 0x10U) != 0 ? '\t' : ',';
  const genotypes::GenotypeData genotypes = table::read_genotype_table(in, "t.csv", read_options);
  common::RunOptions options;
  options.permutations = 1 + static_cast<int>(settings & 0x03U);
  options.threads = 1 + static_cast<int>((settings >> 2) & 0x01U);
  const bool classic = (settings & 0x08U) == 0;
  run_test(genotypes, genotypes::parse_test(genotypes, "", ""), options, classic);
  if (genotypes.loci.size() >= 2) {
    run_test(genotypes, genotypes::locus_pair_test(0, 1), options, classic);
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    run_table(data[0], text);
  } catch (const common::Stop&) {
    // A stop code is a defined end of the run.
  } catch (const common::FileError&) {
    // So is an error of the table or of the test.
  }
  return 0;
}
