#pragma once

// What the stand-alone benchmark programs share: a genotype table read as
// the run reads it (every locus in the test, no groupings given).

#include <fstream>
#include <optional>
#include <string>

#include "table/table.h"

namespace bench_support {

// The run input of the table at path, or nothing when it cannot be opened.
inline std::optional<table::TableInput> read_table_input(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    return std::nullopt;
  }
  const table::GenotypeTable genotypes = table::read_genotype_table(in, path, {});
  return table::make_run_input(genotypes, table::parse_test(genotypes, "", ""));
}

}  // namespace bench_support
