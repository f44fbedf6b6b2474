#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "formats/formats.h"
#include "genotypes/genotypes.h"

// The readers of the table of formats run on text: a file written inline,
// read as the program reads it, and its model in a few comparable lines.

namespace test_support {

// Reads the text with the reader as the file `path`, the text being its head too.
inline genotypes::GenotypeData read_text(formats::Reader reader, const std::string& path,
                                         const std::string& text,
                                         const formats::ReadOptions& options = {}) {
  std::istringstream in(text);
  const formats::Source source{path, in, text};
  return reader(source, options, [](const std::string&) {});
}

// The model as lines: the loci joined by spaces, then one line per individual
// "line population id a/b a/b ..." with "-" for a missing allele.
inline std::vector<std::string> model_lines(const genotypes::GenotypeData& data) {
  std::string loci;
  for (const genotypes::Locus& locus : data.loci) {
    loci += (loci.empty() ? "" : " ") + locus.name;
  }
  std::vector<std::string> lines{loci};
  const auto allele = [](const std::string& name) { return name.empty() ? "-" : name; };
  for (const genotypes::Individual& individual : data.individuals) {
    std::ostringstream line;
    line << individual.line << ' ' << individual.population << ' ' << individual.id;
    for (const auto& typing : individual.typings) {
      line << ' ' << allele(typing[0]) << '/' << allele(typing[1]);
    }
    lines.push_back(line.str());
  }
  return lines;
}

}  // namespace test_support
