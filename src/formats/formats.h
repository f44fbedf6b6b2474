#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "genotypes/genotypes.h"
#include "table/table.h"

// The genotype files a table run reads: one table of formats, each with its
// name, its file extensions, a detector that knows it from its first bytes
// and a reader that fills the genotype model from it. The run names a
// format with --format or leaves it to detection; from the model on, a run
// is the same whatever the format.

namespace formats {

// How many bytes of a file detection looks at.
inline constexpr std::size_t HEAD_BYTES = std::size_t{64} * 1024;

// How Genepop populations are named: 1, 2, ... in file order, or by the name
// of each population's last individual (the Genepop convention).
enum class PopulationNames { numbers, last };

// What a reader may need beyond its file: the options of the command line
// that say what a file cannot tell.
struct ReadOptions {
  // The CSV/TSV table's options; its max_bytes is the budget every reader
  // counts what it holds against (0: none).
  table::TableOptions table;
  PopulationNames population_names = PopulationNames::numbers;
  int structure_rows = 0;         // Structure rows per individual, 1 or 2; 0: detect
  int structure_columns = -1;     // Structure columns before the loci; -1: detect
  std::string populations;        // VCF: file of sample and population per line
  std::string region;             // VCF: CHROM, CHROM:FROM-TO; "": every record
  std::vector<std::string> loci;  // VCF: records by ID or CHROM:POS; empty: every record
};

// Where a reader reads from: the file's name (as given on the command line)
// and its bytes from the first (the file may be a pipe: what detection looked
// at is given back before the rest).
struct Source {
  std::string path;
  std::istream& in;
  std::string_view head;  // the first bytes (at most HEAD_BYTES), as detection saw them
};

// Whether the first bytes of a file (at most HEAD_BYTES; the file may be
// shorter) are of this format.
using Detector = bool (*)(std::string_view head);
// Reads the whole file into the model. Throws common::FileError{path, line,
// what} for whatever the format does not allow.
using Reader = genotypes::GenotypeData (*)(const Source& source, const ReadOptions& options,
                                           const genotypes::NoteWriter& note);

struct Format {
  std::string_view name;                         // the --format value
  std::span<const std::string_view> extensions;  // with their dot, lower case
  Detector detect;
  Reader read;
  std::string_view description;  // for --help and messages
};

// Every format, in the order --help lists them.
[[nodiscard]] std::span<const Format> all_formats();

// The format of --format NAME. Throws common::FileError{"--format", 0, what}
// for an unknown name, listing the names.
[[nodiscard]] const Format& format_named(std::string_view name);

// The format of a file from its first bytes: the one format whose detector
// knows them; when several do, the one among them whose extensions hold the
// file's; when none does, the one whose extensions hold the file's. Throws
// common::FileError{path, 0, what} when that leaves none or more than one,
// naming them and --format.
[[nodiscard]] const Format& detect_format(std::string_view path, std::string_view head);

struct ReadGenotypes {
  genotypes::GenotypeData data;
  const Format* format = nullptr;
  bool detected = false;  // chosen by detect_format, not by --format
};

// Opens the file (it may be a pipe), picks its format (format_name, or
// detection when empty) and reads it; the model's names are checked
// (genotypes::check_names).
[[nodiscard]] ReadGenotypes read_genotypes(const std::string& path, std::string_view format_name,
                                           const ReadOptions& options,
                                           const genotypes::NoteWriter& note);

}  // namespace formats
