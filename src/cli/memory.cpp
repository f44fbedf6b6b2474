#include "cli/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <system_error>

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

MemoryLimits read_memory_limits() {
  MemoryLimits limits;
  limits.physical = physical_memory();
  limits.address_space = soft_limit(RLIMIT_AS);
  limits.data = soft_limit(RLIMIT_DATA);
  std::ifstream cgroup("/sys/fs/cgroup/memory.max");
  std::string line;
  if (cgroup && std::getline(cgroup, line)) {
    limits.cgroup = cgroup_memory_max(line);
  }
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
