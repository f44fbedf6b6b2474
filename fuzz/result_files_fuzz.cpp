// Fuzz target for the output path of a table run: the input's first byte
// picks the settings, the rest is the genotype table. The table is written to
// a file and run as the command line runs it (cli::run_genotype_table), so
// that the log, the report and the result files are created by the
// output-file rule and filled in a folder of their own. Contract: success,
// common::Stop or common::FileError; anything else is a bug.
//
// The folder is a small tmpfs (64 KiB) when the target may mount one (it runs
// as root), so that some runs fill the disk and take the path of a result
// file that cannot be written; otherwise it is a plain folder under /tmp, and
// only the full-disk path goes untried. The folder is emptied after every
// input and removed when the process ends normally. Tables whose expansion
// would be large (more than 4 loci or 6 alleles at a locus) are passed over,
// so that every input runs in milliseconds.

#include <sys/mount.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "cli/front_ends.h"
#include "cli/options.h"
#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"

namespace {

// One folder per process, named after it, so that the target keeps no state
// of its own and two targets never share their files.
std::filesystem::path run_folder() {
  return std::filesystem::temp_directory_path() /
         ("quarnel_result_files_fuzz." + std::to_string(::getpid()));
}

void remove_run_folder() {
  const std::filesystem::path folder = run_folder();
  static_cast<void>(::umount2(folder.c_str(), MNT_DETACH));
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

// Creates the folder at the first input, on a small tmpfs when allowed.
void ensure_run_folder(const std::filesystem::path& folder) {
  if (!std::filesystem::exists(folder)) {
    std::filesystem::create_directory(folder);
    static_cast<void>(::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k"));
    static_cast<void>(std::atexit(remove_run_folder));
  }
}

void empty_run_folder(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove_all(entry.path());
  }
}

bool small_enough(const std::string& text, const cli::Options& options) {
  std::istringstream in(text);
  table::TableOptions read_options;
  read_options.delimiter = options.delimiter == "tab" ? '\t' : ',';
  try {
    const genotypes::GenotypeData genotypes =
        table::read_genotype_table(in, options.genotypes, read_options);
    if (genotypes.loci.size() > 4) {
      return false;
    }
    const genotypes::TestInput made =
        genotypes::make_run_input(genotypes, genotypes::parse_test(genotypes, "", ""),
                                  cli::table_rules(options).alleles_per_population);
    for (const int count : made.input.systems.allele_count) {
      if (count > 6) {
        return false;
      }
    }
  } catch (const common::Stop&) {
    // The run stops at the same place, before any work.
  } catch (const common::FileError&) {
    // Likewise.
  }
  return true;
}

cli::Options run_settings(std::uint8_t settings, const std::filesystem::path& folder) {
  cli::Options options;
  const bool tab = (settings & 0x10U) != 0;
  options.genotypes = folder / (tab ? "t.tsv" : "t.csv");
  options.delimiter = tab ? "tab" : ",";
  options.out = folder / "run";
  options.permutations = 1 + static_cast<int>(settings & 0x03U);
  options.threads = 1 + static_cast<int>((settings >> 2) & 0x01U);
  options.classic_rules = (settings & 0x08U) != 0;
  options.locus_pairs = (settings & 0x20U) != 0;
  options.em_starts = 1 + static_cast<int>((settings >> 6) & 0x01U);
  if ((settings & 0x80U) != 0) {
    options.min_frequency = 0.0;
  }
  options.quiet = true;
  return options;
}

void run_table(std::uint8_t settings, const std::string& text) {
  const std::filesystem::path folder = run_folder();
  ensure_run_folder(folder);
  const cli::Options options = run_settings(settings, folder);
  if (!small_enough(text, options)) {
    return;
  }
  {
    std::ofstream table_file(options.genotypes, std::ios::binary);
    table_file << text;
    if (!table_file.flush()) {
      empty_run_folder(folder);  // the table does not fit the folder
      return;
    }
  }
  layout::DiscardSink console;
  layout::DiscardSink help;
  try {
    cli::run_genotype_table(options, console, help, nullptr);
  } catch (const common::Stop&) {
    // A stop code is a defined end of the run.
  } catch (const common::FileError&) {
    // So is an error of the table, of the test or of an output file.
  } catch (const common::MemoryRefusal&) {
    // And a test beyond the memory budget.
  }
  empty_run_folder(folder);
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  run_table(data[0], std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  return 0;
}
