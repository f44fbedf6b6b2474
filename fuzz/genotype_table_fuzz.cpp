// Fuzz target for genotype tables: the first byte picks the delimiter (even:
// comma, odd: tab, or with bit 2 none given, so that the header decides
// between comma and semicolon) and whether the first column named "id" is the
// id column (else the columns are found by their names); the rest is the table. The table is read,
// and the test of every locus and the test of the first pair are made into run inputs. Contract:
// success or common::FileError; anything else is a bug.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "common/stop.h"
#include "table/table.h"

namespace {

void run(const uint8_t* data, size_t size) {
  if (size == 0) {
    return;
  }
  table::TableOptions options;
  options.delimiter = (data[0] & 1U) != 0 ? '\t' : ',';
  if ((data[0] & 4U) != 0) {
    options.delimiter = 0;
  }
  if ((data[0] & 2U) != 0) {
    options.id_column = "id";
  }
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  const genotypes::GenotypeData genotypes = table::read_genotype_table(in, "fuzz.csv", options);
  if (genotypes.loci.size() >= 2) {
    static_cast<void>(genotypes::make_run_input(genotypes, genotypes::locus_pair_test(1, 0)));
  }
  static_cast<void>(genotypes::make_run_input(genotypes, genotypes::parse_test(genotypes, "", "")));
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    run(data, size);
  } catch (const common::FileError&) {
    // An error of the table or of the test is a defined end.
  }
  return 0;
}
