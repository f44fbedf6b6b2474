#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/first_appearance.h"
#include "common/run.h"

// The genotypes of a table run, whatever file they were read from: the
// individuals with their populations, the loci with their typings as the
// file names the alleles, and missing typings. Every reader (a CSV/TSV
// table, Genepop, Arlequin, Fstat, Genetix, Structure, PyPop, VCF) fills one
// GenotypeData; from there on a run is the same for every format: the loci of
// a test and its two groupings, the individuals a test keeps, and the run
// input the engine reads. Allele names are kept in full for the result
// tables; the engine sees them as synthetic 5-character typings. Every error
// is a common::FileError naming the file (with its line, 1-based) or the
// option.

namespace genotypes {

// Alleles a locus may have among the individuals kept for a test.
inline constexpr int MAX_LOCUS_ALLELES = 250;

struct Locus {
  std::string name;
  // A second name the options may use for it (a VCF record named by its ID
  // is also CHROM:POS); "": none.
  std::string alias;
};

struct Individual {
  // The file's line where the individual stands (its first line when it
  // takes two); 0 where a file has no line for it (a VCF sample).
  std::int64_t line = 0;
  std::string population;
  std::string id;  // empty when the file names no individuals
  // [locus]: the two allele names in the file's order; "" = missing.
  std::vector<std::array<std::string, 2>> typings;
};

struct GenotypeData {
  std::string name;                     // display name (the file name) for messages
  std::vector<Locus> loci;              // in file order
  std::vector<Individual> individuals;  // in file order
};

// Takes a line for the user (standard error, in the program) as soon as it is
// known, so that it arrives even when a later line of the file is an error.
using NoteWriter = std::function<void(const std::string& line)>;

// Refuses names that the result tables cannot show: a population or allele
// name with a tab, an allele name with "~" (which joins the allele names of a
// haplotype), an empty population name, a locus twice. Throws
// common::FileError{data.name, line of the individual, what}.
void check_names(const GenotypeData& data);

// Whether an allele name that is no missing code looks like one all the
// same, as other programs write missing data: -1 to -99, NULL, none,
// missing, nan or n/a in any case, a run of "?" or of "0", x or X.
[[nodiscard]] bool missing_code_lookalike(std::string_view cell);

// One warning for each locus with an allele that looks like a missing-data
// code (missing_code_lookalike), at its first such typing, in file order:
// the line, the locus, the value and --missing, with which the codes are
// named.
[[nodiscard]] std::vector<std::string> missing_code_notes(const GenotypeData& data);

// The loci of one test and its two groupings. Locus numbers are 0-based
// indexes into GenotypeData::loci.
struct TestSpec {
  std::vector<int> loci;                      // the loci of the test, in file order
  std::vector<std::vector<int>> null_groups;  // in the order written
  std::vector<std::vector<int>> alt_groups;   // in the order written
};

// The test of --null SPEC and --alt SPEC ("" = not given). A SPEC lists
// groups separated by commas, the loci of a group joined by "+". The loci of
// the test are those of the null SPEC, else of the alternative SPEC, else
// every locus; the default null grouping holds each locus alone, the default
// alternative one group of all, both in file order. Throws
// common::FileError{"--null" or "--alt", 0, what} for an unknown locus, a
// repeat, an empty group, an alternative naming a locus outside the test, or
// a test of fewer than 2 or more than 10 loci (naming the file when no SPEC
// is given).
[[nodiscard]] TestSpec parse_test(const GenotypeData& data, std::string_view null_spec,
                                  std::string_view alt_spec);

// The loci of the pairs mode: the comma-separated names of --loci ("" =
// every locus), in file order; at least 2. Throws
// common::FileError{"--loci", 0, what}.
[[nodiscard]] std::vector<int> parse_loci(const GenotypeData& data, std::string_view list);

// The two-locus test of a locus pair (null: each alone; alternative: both in one
// group), the loci in file order whichever is given first.
[[nodiscard]] TestSpec locus_pair_test(int locus_a, int locus_b);

// Whether an individual takes part in a test of these loci (0-based): it is
// left out when typings are missing at two or more of them, since such an
// individual cannot be completed over the alleles of one locus.
[[nodiscard]] bool individual_kept(const Individual& individual, std::span<const int> loci);

// The populations in order of first appearance, every individual counting
// whether a test keeps it or not: values[k] is the k-th population met,
// number_of[i] the 0-based population of individual i.
[[nodiscard]] common::FirstAppearance population_order(const GenotypeData& data);

struct ExcludedIndividual {
  std::string population;
  std::int64_t line = 0;
  std::string id;  // empty when the file names no individuals
};

struct TestInput {
  common::RunInput input;
  // Individuals with missing typings at two or more loci of the test, in file order.
  std::vector<ExcludedIndividual> excluded;
  // Populations with nobody left, in order of first appearance.
  std::vector<std::string> dropped_populations;
};

// The run input of a test: the test's loci as systems in file order, each
// locus's alleles (those of the kept individuals) numbered in byte order of
// their names, populations in order of first appearance (a population with
// nobody kept is dropped), records in file order. Throws
// common::FileError{data.name, 0, what} when no individual is left, or a
// locus of the test has no allele or more than MAX_LOCUS_ALLELES among the
// kept individuals. With untyped_left_out (the maximum-likelihood rules), a
// locus that nobody of a population has typed is no missing typing of that
// population's individuals: it is listed in input.untyped_systems and its
// typings are filled with one allele, so that it adds nothing to the test.
[[nodiscard]] TestInput make_run_input(const GenotypeData& data, const TestSpec& test,
                                       bool untyped_left_out = false);

}  // namespace genotypes
