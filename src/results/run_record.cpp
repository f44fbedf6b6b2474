#include <cassert>
#include <string>

#include "results/manifest.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

void write_run_record(std::ostream& out, const ResultSet& set) {
  assert(set.record != nullptr);
  write_header(out, {"key", "value"});
  for (const auto& [key, value] : *set.record) {
    std::string line;
    append_text(line, key);
    append_text_field(line, value);
    line += '\n';
    out << line;
  }
}

}  // namespace results
