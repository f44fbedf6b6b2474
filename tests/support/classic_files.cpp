#include "support/classic_files.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "common/limits.h"

namespace test_support {
namespace {

constexpr int FIELD = 6;  // the columns of one allele name or code letter

[[nodiscard]] std::string right_aligned(std::string_view text, int width) {
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + std::string(text);
}

[[nodiscard]] std::string integer_line(const std::vector<int>& values, int width) {
  std::string line;
  for (const int value : values) {
    line += right_aligned(std::to_string(value), width);
  }
  return line + "\n";
}

[[nodiscard]] int name_width(const std::vector<std::string>& names, int s) {
  int width = 1;
  for (const std::string& name : names) {
    if (name.empty() || name.size() > static_cast<std::size_t>(common::MAX_NAME_WIDTH) ||
        name.back() == ' ') {
      throw std::invalid_argument("system " + std::to_string(s + 1) + ": the allele name \"" +
                                  name + "\" does not fit a classic allele field");
    }
    width = std::max(width, common::count_of(name));
  }
  return width;
}

// The 0-based allele of a typing (-1 when it is blank, missing).
[[nodiscard]] int allele_of(const common::SystemTables& systems, int s,
                            const common::Typing& typing) {
  if (typing[static_cast<std::size_t>(systems.allele_name_width[s] - 1)] == ' ') {
    return -1;
  }
  const std::vector<common::Typing>& names = systems.allele_name[s];
  const auto at = std::find(names.begin(), names.end(), typing);
  if (at == names.end()) {
    throw std::invalid_argument("a typing \"" + std::string(typing.trimmed()) +
                                "\" outside its system's allele list");
  }
  return static_cast<int>(at - names.begin());
}

[[nodiscard]] std::string system_lines(const common::RunInput& input, int s, int width) {
  const common::SystemTables& systems = input.systems;
  const int count = systems.allele_count[s];
  if (count < 1 || count > common::MAX_ALLELES) {
    throw std::invalid_argument("system " + std::to_string(s + 1) + " has " +
                                std::to_string(count) + " alleles; the classic file takes 1 to 14");
  }
  const std::string title = s < common::count_of(input.locus_names) ? input.locus_names[s] : "";
  std::string lines = title.substr(0, 30) + "\n" + integer_line({count}, 5) +
                      integer_line({width}, 5) + "  allele names, then their code letters\n";
  for (int a = 0; a < count; ++a) {
    lines += right_aligned(input.allele_names[s][a], FIELD - 1) + " ";
  }
  lines += "\n";
  for (int a = 0; a < count; ++a) {
    lines += std::string(FIELD - 2, ' ') + systems.allele_code[s][a] + " ";
  }
  return lines + "\n";
}

void check_populations(const common::Populations& populations) {
  if (populations.population_count() > common::MAX_POPULATIONS) {
    throw std::invalid_argument(std::to_string(populations.population_count()) +
                                " populations; the classic run analyses at most 20");
  }
  for (int p = 1; p < populations.population_count(); ++p) {
    if (populations.population_names[p] == populations.population_names[p - 1]) {
      throw std::invalid_argument("populations " + std::to_string(p) + " and " +
                                  std::to_string(p + 1) +
                                  " agree in their first 20 bytes and would be read as one");
    }
  }
}

}  // namespace

std::string classic_data_file(const common::RunInput& input) {
  const common::SystemTables& systems = input.systems;
  std::vector<int> widths;
  widths.reserve(static_cast<std::size_t>(systems.system_count()));
  for (int s = 0; s < systems.system_count(); ++s) {
    widths.push_back(name_width(input.allele_names[s], s));
  }
  std::string file =
      "Data file written from a run input\n(the same systems, alleles and records)\n" +
      integer_line({systems.system_count()}, 5);
  std::string record_layout = "(A20";
  for (int s = 0; s < systems.system_count(); ++s) {
    file += system_lines(input, s, widths[s]);
    record_layout += ",2A" + std::to_string(widths[s]);
  }
  file += "record layout of the phenotype records:\n" + record_layout + ")\n" +
          "POPULATION\n--------------------\n\n";

  const common::Populations& populations = input.populations;
  check_populations(populations);
  for (int p = 0; p < populations.population_count(); ++p) {
    const std::string_view name = populations.population_names[p].view();
    for (int r = 0; r < populations.population_record_count(p); ++r) {
      std::string record(name);
      for (int k = 0; k < systems.typing_count(); ++k) {
        const int s = common::system_of_typing(k);
        const int a = allele_of(systems, s, populations.phenotype_table[p][r][k]);
        record += a < 0 ? std::string(static_cast<std::size_t>(widths[s]), ' ')
                        : right_aligned(input.allele_names[s][a], widths[s]);
      }
      file += record + "\n";
    }
  }
  return file;
}

namespace {

[[nodiscard]] std::string grouping_lines(const common::Grouping& grouping) {
  std::vector<int> group_size;
  for (int g = 0; g < grouping.group_total(); ++g) {
    group_size.push_back(grouping.group_size(g));
  }
  std::string lines = integer_line({grouping.group_total()}, 4) + integer_line(group_size, 4);
  for (const std::vector<int>& systems : grouping.group_systems) {
    std::vector<int> numbers;
    numbers.reserve(systems.size());
    for (const int s : systems) {
      numbers.push_back(s + 1);
    }
    lines += integer_line(numbers, 4);
  }
  return lines;
}

[[nodiscard]] std::string file_name_line(const std::string& name) {
  if (name.empty() || name.size() > 40) {
    throw std::invalid_argument("the file name \"" + name + "\" does not fit columns 1-40");
  }
  return name + "\n";
}

}  // namespace

std::string classic_control_file(const common::RunInput& input, const std::string& data_name,
                                 const std::string& report_name) {
  return "Control file written from a run input\n(null grouping, then alternative grouping)\n" +
         file_name_line(data_name) + file_name_line(report_name) + "unused.out\n" +
         grouping_lines(input.null_grouping) + "--- alternative grouping ---\n" +
         grouping_lines(input.alt_grouping);
}

}  // namespace test_support
