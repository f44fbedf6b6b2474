// Fuzz target of one genotype-file reader, built once per format
// (QUARNEL_FUZZ_FORMAT names it): the bytes are the file, read by that
// format's reader as the program reads it, then the test of every locus and
// of the first pair are made into run inputs. Contract: success or
// common::FileError; anything else is a bug.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "common/stop.h"
#include "formats/formats.h"

namespace {

void run(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  const formats::Format& format = formats::format_named(QUARNEL_FUZZ_FORMAT);
  formats::ReadOptions options;
  options.table.max_bytes = std::int64_t{64} << 20;
  // A VCF's samples take their populations from a file: the seeds' samples
  // are named in fuzz/vcf.populations.
  if (format.name == "vcf") {
    options.populations = std::string(QUARNEL_FUZZ_DIR) + "/vcf.populations";
  }
  const std::string path = std::string("fuzz.") + QUARNEL_FUZZ_FORMAT;
  const formats::Source source{path, in, std::string_view(bytes).substr(0, formats::HEAD_BYTES)};
  static_cast<void>(format.detect(source.head));
  const genotypes::GenotypeData genotypes = format.read(source, options, {});
  genotypes::check_names(genotypes);
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
    // An error of the file or of the test is a defined end.
  }
  return 0;
}
