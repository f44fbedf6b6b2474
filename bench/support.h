#pragma once

// What the stand-alone benchmark programs share: a genotype table read as
// the run reads it (every locus in the test, no groupings given), and the
// size of a data set's estimation.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "driver/driver.h"
#include "table/table.h"

namespace bench_support {

// The run input of the table at path, or nothing when it cannot be opened.
inline std::optional<genotypes::TestInput> read_table_input(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    return std::nullopt;
  }
  const genotypes::GenotypeData genotypes = table::read_genotype_table(in, path, {});
  return genotypes::make_run_input(genotypes, genotypes::parse_test(genotypes, "", ""));
}

// The estimation's work per iteration for population p (0-based) of a data
// set: the haplotype pairs of the phenotypes it has, and those phenotypes.
struct EstimationSize {
  std::int64_t pairs = 0;
  std::int64_t phenotypes = 0;
};

inline EstimationSize estimation_size(const driver::BuiltDataSet& built, std::size_t p) {
  EstimationSize size;
  for (std::size_t d = 0; d < built.pair_labels.size(); ++d) {
    if (built.phenotype_count[p][d] > 0) {
      size.pairs += built.pair_labels[d]->pair_total();
      ++size.phenotypes;
    }
  }
  return size;
}

}  // namespace bench_support
