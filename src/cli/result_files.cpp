#include "cli/result_files.h"

#include <sys/stat.h>

#include "common/stop.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {

std::vector<std::string> result_paths(const std::string& prefix,
                                      const results::ResultChoice& choice) {
  std::vector<std::string> paths;
  for (const results::ResultFile& file : results::result_files(choice)) {
    paths.push_back(prefix + file.suffix);
  }
  return paths;
}

std::vector<std::string> write_results(output::OutputSet& outputs, const std::string& prefix,
                                       const results::ResultChoice& choice,
                                       const results::ResultSet& set) {
  std::vector<std::string> paths;
  for (const results::ResultFile& file : results::result_files(choice)) {
    const std::string first = prefix + file.suffix;
    paths.push_back(first);
    outputs.write(first, [&](std::ostream& out) { file.write(out, set); });
    // Further pages, reserved now that their count is known.
    const int pages = file.pages ? file.pages(set) : 1;
    for (int page = 1; page < pages; ++page) {
      paths.push_back(results::picture_page_path(first, page));
      outputs.reserve(paths.back());
      outputs.write(paths.back(), [&](std::ostream& out) { file.write_page(out, set, page); });
    }
  }
  return paths;
}

std::string output_prefix(const std::string& out, const std::string& default_name) {
  if (out.empty()) {
    return default_name;
  }
  struct stat status {};
  const bool folder =
      out.back() == '/' || (::stat(out.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
  if (!folder) {
    return out;
  }
  return out + (out.back() == '/' ? "" : "/") + default_name;
}

}  // namespace cli
