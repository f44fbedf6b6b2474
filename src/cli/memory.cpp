#include "cli/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace cli {
namespace {

constexpr std::int64_t LARGEST = std::numeric_limits<std::int64_t>::max();

// The power of 1024 a suffix letter stands for, or -1.
int suffix_power(char c) {
  switch (c) {
    case 'K':
    case 'k':
      return 1;
    case 'M':
    case 'm':
      return 2;
    case 'G':
    case 'g':
      return 3;
    case 'T':
    case 't':
      return 4;
    default:
      return -1;
  }
}

// Digits only, at least one, as a number that fits; else empty.
std::optional<std::int64_t> whole_number(std::string_view digits) {
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

std::int64_t soft_limit(int resource) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return 0;
  }
  return static_cast<std::int64_t>(std::min<rlim_t>(limit.rlim_cur, LARGEST));
}

std::int64_t physical_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) {
    return 0;
  }
  return pages > LARGEST / page_size ? LARGEST : std::int64_t{pages} * page_size;
}

// The limit files that bound a process of the group a line of
// /proc/self/cgroup (ID:CONTROLLERS:PATH) names, from its own group up to
// the root: memory.max under cgroup v2, memory.limit_in_bytes under v1;
// none for a v1 hierarchy without the memory controller.
std::vector<std::string> limit_files(std::string_view line, const std::string& root) {
  const std::size_t first = line.find(':');
  const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
  if (second == std::string_view::npos) {
    return {};
  }
  std::string controllers(",");
  controllers.append(line.substr(first + 1, second - first - 1)).append(",");
  const bool unified = line.substr(0, first) == "0" && controllers == ",,";
  if (!unified && controllers.find(",memory,") == std::string::npos) {
    return {};
  }
  const std::string base = unified ? root : root + "/memory";
  const std::string name = unified ? "/memory.max" : "/memory.limit_in_bytes";
  std::string path(line.substr(second + 1));
  std::vector<std::string> files;
  for (;;) {
    std::string file = base;
    file.append(path).append(name);
    files.push_back(std::move(file));
    const std::size_t slash = path.find_last_of('/');
    if (path.empty() || slash == std::string::npos) {
      return files;
    }
    path.erase(slash);
  }
}

}  // namespace

std::optional<std::int64_t> parse_memory_size(std::string_view text) {
  const int suffix = text.empty() ? -1 : suffix_power(text.back());
  const int power = std::max(suffix, 0);
  if (suffix > 0) {
    text.remove_suffix(1);
  }
  std::optional<std::int64_t> bytes = whole_number(text);
  if (!bytes || *bytes <= 0) {
    return std::nullopt;
  }
  for (int k = 0; k < power; ++k) {
    if (*bytes > LARGEST / 1024) {
      return std::nullopt;
    }
    *bytes *= 1024;
  }
  return bytes;
}

std::string memory_size_problem(std::string_view text) {
  return "--max-memory: '" + std::string(text) +
         "' is not a size: give a positive whole number of bytes, optionally followed by K, M, G"
         " or T (powers of 1024), such as 512M or 8G";
}

std::int64_t cgroup_memory_max(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  return whole_number(text).value_or(0);
}

std::int64_t cgroup_memory_limit(std::string_view self_cgroup, const std::string& root) {
  std::int64_t lowest = 0;
  while (!self_cgroup.empty()) {
    const std::size_t end = std::min(self_cgroup.find('\n'), self_cgroup.size());
    for (const std::string& file : limit_files(self_cgroup.substr(0, end), root)) {
      std::ifstream in(file);
      std::string text;
      if (in && std::getline(in, text)) {
        const std::int64_t limit = cgroup_memory_max(text);
        if (limit > 0 && (lowest == 0 || limit < lowest)) {
          lowest = limit;
        }
      }
    }
    self_cgroup.remove_prefix(std::min(end + 1, self_cgroup.size()));
  }
  return lowest;
}

MemoryLimits read_memory_limits() {
  MemoryLimits limits;
  limits.physical = physical_memory();
  limits.address_space = soft_limit(RLIMIT_AS);
  limits.data = soft_limit(RLIMIT_DATA);
  std::ifstream self("/proc/self/cgroup");
  std::string text;
  for (std::string line; std::getline(self, line);) {
    text += line + '\n';
  }
  limits.cgroup = cgroup_memory_limit(text, "/sys/fs/cgroup");
  return limits;
}

std::int64_t default_memory_budget(const MemoryLimits& limits) {
  std::int64_t lowest = 0;
  for (const std::int64_t limit :
       {limits.physical, limits.address_space, limits.data, limits.cgroup}) {
    if (limit > 0 && (lowest == 0 || limit < lowest)) {
      lowest = limit;
    }
  }
  // Half of a 1-byte limit would be no budget at all.
  return lowest == 1 ? 1 : lowest / 2;
}

std::int64_t memory_budget(const std::string& max_memory) {
  if (max_memory.empty()) {
    return default_memory_budget(read_memory_limits());
  }
  return parse_memory_size(max_memory).value_or(0);
}

}  // namespace cli
