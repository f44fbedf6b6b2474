#include "cli/front_ends.h"
#include "common/stop.h"

namespace cli {

void run_genotype_table(const Options& options, layout::Sink& /*console*/,
                        layout::Sink& /*help*/) {
  throw common::FileError{options.genotypes, 0, "genotype tables are not read yet"};
}

}  // namespace cli
