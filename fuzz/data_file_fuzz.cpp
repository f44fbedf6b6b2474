// Fuzz target for the data file: the input is a whole data file. It is read
// as the observed data set is (header, records), every individual is coded,
// and the distinct phenotypes are expanded under a null grouping of one
// system per group. Contract: the run ends in success, common::Stop or
// common::FileError; any other exception, crash or sanitizer report is a bug.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "coding/coding.h"
#include "common/stop.h"
#include "common/tables.h"
#include "expand/expand.h"
#include "input/input.h"
#include "layout/layout.h"

namespace {

void analyse(std::istream& in) {
  layout::RecordReader data(in, "pheno.dat");
  layout::MemorySink console;
  layout::MemorySink log;
  layout::MemorySink report;
  const layout::Sinks sinks{console, log, report};
  common::SystemTables systems;
  const layout::LayoutList record_layout = input::read_data_header(data, systems, sinks);
  common::Populations populations;
  input::read_phenotype_records(data, systems, record_layout, populations, sinks);

  common::DistinctPhenotypes distinct;
  distinct.reset(populations.population_count());
  coding::PhenotypeIndex index;
  for (int p = 0; p < populations.population_count(); ++p) {
    const auto& records = populations.phenotype_table[static_cast<std::size_t>(p)];
    for (std::size_t r = 0; r < records.size(); ++r) {
      coding::code_individual(p, static_cast<int>(r), records[r], systems,
                              common::MAX_DISTINCT_PHENOTYPES, distinct, index, sinks);
    }
  }
  expand::check_haplotype_count(systems);
  expand::ExpansionCache cache;
  common::PairLists pair_labels;
  static_cast<void>(
      expand::expand_phenotypes(0, systems, populations, distinct, {}, cache, sinks, pair_labels));
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    analyse(in);
  } catch (const common::Stop&) {
    // A stop code is a defined end of the run.
  } catch (const common::FileError&) {
    // So is an error of the file layer.
  }
  return 0;
}
