#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The memory budget of the run (--max-memory SIZE): its text and its default.

namespace cli {

// The bytes SIZE stands for: a positive whole number of bytes, optionally
// followed by K, M, G or T in either case (powers of 1024), such as 512M.
// Empty for anything else: 0, a sign, blanks, another suffix, a fraction,
// or more than 2^63 - 1 bytes.
[[nodiscard]] std::optional<std::int64_t> parse_memory_size(std::string_view text);

// The usage error for a bad --max-memory SIZE, naming the option.
[[nodiscard]] std::string memory_size_problem(std::string_view text);

// What bounds the memory of this process, in bytes; 0 where there is no
// bound or it cannot be read.
struct MemoryLimits {
  std::int64_t physical = 0;       // the physical memory
  std::int64_t address_space = 0;  // the soft limit RLIMIT_AS
  std::int64_t data = 0;           // the soft limit RLIMIT_DATA
  std::int64_t cgroup = 0;         // the lowest memory limit of its control groups
};

// The lowest memory limit of the control groups that /proc/self/cgroup
// (self_cgroup) names, read under root (/sys/fs/cgroup): cgroup v2's
// memory.max and cgroup v1's memory.limit_in_bytes of the process's own
// group and every group above it; 0 when none is set or readable.
[[nodiscard]] std::int64_t cgroup_memory_limit(std::string_view self_cgroup,
                                               const std::string& root);

// Reads the limits of this process: sysconf, getrlimit and its control
// groups' limits.
[[nodiscard]] MemoryLimits read_memory_limits();

// The limit that the text of a cgroup v2 memory.max file gives: its number
// of bytes, or 0 for "max" and for anything that is not a number.
[[nodiscard]] std::int64_t cgroup_memory_max(std::string_view text);

// Half of the lowest of the limits; 0 (no budget) when none is known.
[[nodiscard]] std::int64_t default_memory_budget(const MemoryLimits& limits);

// The budget of the run in bytes: SIZE of --max-memory, or the default of
// this process's limits when max_memory is empty. max_memory has passed
// parse_options, so it is a valid SIZE.
[[nodiscard]] std::int64_t memory_budget(const std::string& max_memory);

}  // namespace cli
