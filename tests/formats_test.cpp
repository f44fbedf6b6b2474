// The conformance suite: one small data set (tests/formats/conformance)
// written in every format, each file read both by its --format name and by
// detection, must give the genotype model the CSV table gives.

#include "formats/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "genotypes/genotypes.h"

namespace {

const std::string FOLDER = QUARNEL_FORMAT_FILES "/conformance/";

struct ConformanceFile {
  const char* format;
  const char* file;
  formats::ReadOptions options;
};

// The model with what a file cannot hold of another format's left out: the
// ids (Fstat has none) and the lines.
struct Comparable {
  std::vector<std::string> loci;
  std::vector<std::string> populations;
  std::vector<std::vector<std::array<std::string, 2>>> typings;
  bool operator==(const Comparable&) const = default;
};

Comparable comparable(const genotypes::GenotypeData& data) {
  Comparable c;
  for (const genotypes::Locus& locus : data.loci) {
    c.loci.push_back(locus.name);
  }
  for (const genotypes::Individual& individual : data.individuals) {
    c.populations.push_back(individual.population);
    c.typings.push_back(individual.typings);
  }
  return c;
}

formats::ReadGenotypes read(const ConformanceFile& file, bool by_name) {
  return formats::read_genotypes(FOLDER + file.file, by_name ? file.format : "", file.options,
                                 [](const std::string&) {});
}

formats::ReadOptions vcf_options() {
  formats::ReadOptions options;
  options.populations = FOLDER + "vcf.populations";
  return options;
}

class Conformance : public testing::TestWithParam<ConformanceFile> {};

TEST_P(Conformance, SameGenotypesAsTheTable) {
  const formats::ReadGenotypes table = read({"table", "table.csv", {}}, true);
  for (const bool by_name : {true, false}) {
    SCOPED_TRACE(by_name ? "by --format" : "detected");
    const formats::ReadGenotypes got = read(GetParam(), by_name);
    EXPECT_EQ(got.format->name, GetParam().format);
    EXPECT_TRUE(comparable(got.data) == comparable(table.data));
  }
}

// One line per format: its conformance file and the options it needs.
INSTANTIATE_TEST_SUITE_P(EveryReader, Conformance,
                         testing::Values(ConformanceFile{"table", "table.csv", {}},
                                         ConformanceFile{"table", "table_one_column.tsv", {}},
                                         ConformanceFile{"genepop", "genepop.gen", {}},
                                         ConformanceFile{"fstat", "fstat.dat", {}},
                                         ConformanceFile{"genetix", "genetix.gtx", {}},
                                         ConformanceFile{"arlequin", "arlequin.arp", {}},
                                         ConformanceFile{"structure", "structure.str", {}},
                                         ConformanceFile{"pypop", "pypop.pop", {}},
                                         ConformanceFile{"vcf", "vcf.vcf", vcf_options()}),
                         [](const testing::TestParamInfo<ConformanceFile>& param) {
                           std::string name = param.param.file;
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) {
                                 return std::isalnum(static_cast<unsigned char>(c)) == 0;
                               },
                               '_');
                           return name;
                         });

}  // namespace
