#include "support/text_files.h"

#include <cassert>
#include <utility>

namespace test_support {

TextFile::TextFile(std::string text, std::string name)
    : stream_(std::move(text)), reader_(stream_, std::move(name)) {}

std::string lines(const std::vector<std::string>& text_lines) {
  std::string text;
  for (const std::string& line : text_lines) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string right(int value, int width) {
  const std::string digits = std::to_string(value);
  const auto size = static_cast<int>(digits.size());
  return size >= width ? digits : std::string(static_cast<std::size_t>(width - size), ' ') + digits;
}

std::string left(std::string_view text, int width) {
  std::string result(text);
  if (static_cast<int>(result.size()) < width) {
    result.resize(static_cast<std::size_t>(width), ' ');
  }
  return result;
}

std::vector<std::string> grouping_lines(const std::vector<std::vector<int>>& groups) {
  std::vector<std::string> result{right(static_cast<int>(groups.size()), 4)};
  std::string sizes;
  for (const std::vector<int>& group : groups) {
    sizes += right(static_cast<int>(group.size()), 4);
  }
  result.push_back(sizes);
  for (const std::vector<int>& group : groups) {
    std::string line;
    for (const int system : group) {
      line += right(system, 4);
    }
    result.push_back(line);
  }
  return result;
}

std::vector<std::string> groupings_lines(const std::vector<std::vector<int>>& null_groups,
                                         const std::vector<std::vector<int>>& alt_groups) {
  std::vector<std::string> result = grouping_lines(null_groups);
  result.emplace_back("--- alternative grouping ---");
  for (std::string& line : grouping_lines(alt_groups)) {
    result.push_back(std::move(line));
  }
  return result;
}

std::string control_file(std::string_view data_name, std::string_view report_name,
                         const std::vector<std::vector<int>>& null_groups,
                         const std::vector<std::vector<int>>& alt_groups) {
  std::vector<std::string> result{"Control file", "(free line)", std::string(data_name),
                                  std::string(report_name), "unused.out"};
  for (std::string& line : groupings_lines(null_groups, alt_groups)) {
    result.push_back(std::move(line));
  }
  return lines(result);
}

std::vector<std::vector<int>> one_group_per_system(int system_count) {
  std::vector<std::vector<int>> groups;
  for (int s = 1; s <= system_count; ++s) {
    groups.push_back({s});
  }
  return groups;
}

std::vector<std::vector<int>> all_systems_in_one_group(int system_count) {
  std::vector<int> group;
  for (int s = 1; s <= system_count; ++s) {
    group.push_back(s);
  }
  return {group};
}

SystemText numbered_system(int allele_count) {
  SystemText system;
  for (int a = 1; a <= allele_count; ++a) {
    system.names.push_back(a < 10 ? "0" + std::to_string(a) : std::to_string(a));
    system.codes += static_cast<char>('A' + a - 1);
  }
  return system;
}

std::string allele_name_line(const std::vector<std::string>& names, int width, char filler) {
  std::string line;
  for (const std::string& name : names) {
    assert(static_cast<int>(name.size()) <= width);
    line += std::string(static_cast<std::size_t>(5 - width), filler);
    line += std::string(static_cast<std::size_t>(width) - name.size(), ' ') + name;
    line += filler;
  }
  return line;
}

std::string code_letter_line(std::string_view codes, char filler) {
  std::string line;
  for (const char code : codes) {
    line += std::string(4, filler);
    line += code;
    line += filler;
  }
  return line;
}

std::vector<std::string> system_lines(const SystemText& system) {
  return {system.title,
          right(static_cast<int>(system.names.size()), 5),
          right(system.width, 5),
          "  names and code letters follow",
          allele_name_line(system.names, system.width),
          code_letter_line(system.codes)};
}

std::vector<std::string> header_lines(const std::vector<SystemText>& systems,
                                      std::string_view record_layout) {
  std::vector<std::string> result{"Data file", "(free line)",
                                  right(static_cast<int>(systems.size()), 5)};
  for (const SystemText& system : systems) {
    for (std::string& line : system_lines(system)) {
      result.push_back(std::move(line));
    }
  }
  result.emplace_back("record layout:");
  result.emplace_back(record_layout);
  result.emplace_back("POPULATION          TYPINGS");
  result.emplace_back("--------------------");
  result.emplace_back("");
  return result;
}

std::string plain_record_layout(const std::vector<SystemText>& systems) {
  std::string layout = "(A20";
  for (const SystemText& system : systems) {
    layout += ",2A" + std::to_string(system.width);
  }
  return layout + ")";
}

std::string record_line(std::string_view population, const std::vector<std::string>& typings,
                        const std::vector<SystemText>& systems) {
  assert(typings.size() == 2 * systems.size());
  std::string line = left(population, 20);
  for (std::size_t k = 0; k < typings.size(); ++k) {
    line += left(typings[k], systems[k / 2].width);
  }
  return line;
}

common::SystemTables system_tables(const std::vector<SystemText>& systems) {
  common::SystemTables tables;
  tables.system_count = static_cast<int>(systems.size());
  for (const SystemText& system : systems) {
    tables.allele_count.push_back(static_cast<int>(system.names.size()));
    tables.allele_name_width.push_back(system.width);
    std::vector<common::Typing> names;
    for (const std::string& name : system.names) {
      names.emplace_back(std::string(static_cast<std::size_t>(system.width) - name.size(), ' ') +
                         name);
    }
    tables.allele_name.push_back(std::move(names));
    tables.allele_code.emplace_back(system.codes.begin(), system.codes.end());
  }
  return tables;
}

common::RecordTypings typings(const std::vector<std::string>& texts) {
  assert(texts.size() <= common::MAX_TYPINGS);
  common::RecordTypings result{};
  for (std::size_t k = 0; k < texts.size(); ++k) {
    result[k].assign(texts[k]);
  }
  return result;
}

}  // namespace test_support
