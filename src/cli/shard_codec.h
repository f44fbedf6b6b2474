#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/locus_pair_result.h"
#include "common/run.h"
#include "results/manifest.h"

// The tokens of a shard file: integers in decimal, reals as the 16 hex
// digits of their bits (exact, NaN and the sign of zero included), texts as
// their length, ':' and their bytes; each token ends with a blank. A list is
// its count and its items. Reading checks every token and every count
// against the bytes left, so that a corrupt or truncated file is an error,
// never a crash or a huge allocation.

namespace cli {

class ShardWriter {
 public:
  void integer(std::int64_t value);
  void real(double value);
  void text(std::string_view value);
  void flag(bool value) { integer(value ? 1 : 0); }
  void reals(const std::vector<double>& values);
  void texts(const std::vector<std::string>& values);
  void integers(const std::vector<int>& values);
  [[nodiscard]] const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class ShardReader {
 public:
  // path names the file in errors; bytes must outlive the reader.
  ShardReader(std::string path, std::string_view bytes) : path_(std::move(path)), rest_(bytes) {}

  // An integer in low .. high.
  [[nodiscard]] std::int64_t integer(std::int64_t low, std::int64_t high);
  [[nodiscard]] int count();  // a list's count: at most the bytes left
  [[nodiscard]] double real();
  [[nodiscard]] std::string text();
  [[nodiscard]] bool flag() { return integer(0, 1) == 1; }
  [[nodiscard]] std::vector<double> reals();
  [[nodiscard]] std::vector<std::string> texts();
  [[nodiscard]] std::vector<int> integers(int low, int high);
  [[nodiscard]] bool at_end() const { return rest_.empty(); }
  // Throws common::FileError: the file is corrupt or truncated (what: where).
  [[noreturn]] void fail(const std::string& what) const;

 private:
  [[nodiscard]] std::string_view token();

  std::string path_;
  std::string_view rest_;
};

// The run record, a population's result and a pair test's rows, whole.
void put_record(ShardWriter& out, const results::RunRecord& record);
[[nodiscard]] results::RunRecord get_record(ShardReader& in);
void put_population(ShardWriter& out, const common::PopulationResult& result);
[[nodiscard]] common::PopulationResult get_population(ShardReader& in);
void put_locus_pair(ShardWriter& out, const common::LocusPairResult& row);
[[nodiscard]] common::LocusPairResult get_locus_pair(ShardReader& in);
void put_grouping(ShardWriter& out, const common::Grouping& grouping);
[[nodiscard]] common::Grouping get_grouping(ShardReader& in);

}  // namespace cli
