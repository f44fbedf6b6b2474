#include <set>
#include <string>
#include <string_view>

#include "common/stop.h"
#include "genotypes/genotypes.h"
#include "genotypes/lines.h"

namespace genotypes {

void check_names(const GenotypeData& data) {
  std::set<std::string_view> loci;
  for (const Locus& locus : data.loci) {
    if (locus.name.empty()) {
      throw common::FileError{data.name, 0, "a locus has no name"};
    }
    if (!loci.insert(locus.name).second) {
      throw common::FileError{data.name, 0,
                              join({"the locus ", quoted(locus.name),
                                    " is named twice; each locus needs its own name"})};
    }
  }
  for (const Individual& individual : data.individuals) {
    const auto fail = [&](const std::string& what) {
      throw common::FileError{data.name, individual.line, what};
    };
    if (individual.population.empty()) {
      fail("the individual has no population");
    }
    if (individual.population.find('\t') != std::string::npos) {
      fail(join({"the population name ", quoted(individual.population),
                 " holds a tab, which the result tables cannot show"}));
    }
    for (std::size_t l = 0; l < individual.typings.size(); ++l) {
      for (const std::string& allele : individual.typings[l]) {
        if (allele.find('\t') != std::string::npos || allele.find('~') != std::string::npos) {
          fail(join({"the allele name ", quoted(allele), " of locus ", quoted(data.loci[l].name),
                     allele.find('\t') != std::string::npos
                         ? " holds a tab, which the result tables cannot show"
                         : " holds \"~\", which joins the allele names of a haplotype in the"
                           " result tables"}));
        }
      }
    }
  }
}

}  // namespace genotypes
