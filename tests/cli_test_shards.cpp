// The shard file's parts: K/N, the blocks of a run, exact values through the
// file, and a damaged file refused with a line naming it.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "cli/shard_codec.h"
#include "cli/shard_file.h"
#include "common/stop.h"

namespace {

TEST(ShardPart, ParsesOnlyKOfNWithinRange) {
  struct Case {
    const char* text;
    bool valid;
    int k;
    int n;
  };
  for (const Case& c :
       {Case{"1/1", true, 1, 1}, Case{"3/7", true, 3, 7}, Case{"7/7", true, 7, 7},
        Case{"0/2", false, 0, 0}, Case{"3/2", false, 0, 0}, Case{"1/0", false, 0, 0},
        Case{"2", false, 0, 0}, Case{"1/2x", false, 0, 0}, Case{"-1/2", false, 0, 0},
        Case{"1/1000001", false, 0, 0}, Case{"", false, 0, 0}}) {
    const auto part = cli::parse_shard_part(c.text);
    ASSERT_EQ(part.has_value(), c.valid) << c.text;
    if (part) {
      EXPECT_EQ(part->k, c.k);
      EXPECT_EQ(part->n, c.n);
    }
  }
}

// The blocks of 1..N cover every item once, in order, sizes within one.
TEST(ShardRange, BlocksCoverEveryItemOnce) {
  for (const std::int64_t count : {0, 1, 4, 40, 1000, 229503}) {
    for (const int n : {1, 2, 3, 7, 100}) {
      std::int64_t next = 0;
      for (int k = 1; k <= n; ++k) {
        const cli::ShardRange block = cli::shard_range(count, {k, n});
        EXPECT_EQ(block.first, next);
        EXPECT_LE(block.last - block.first, count / n + 1);
        EXPECT_GE(block.last - block.first, count / n);
        next = block.last;
      }
      EXPECT_EQ(next, count);
    }
  }
}

TEST(ShardCodec, KeepsEveryBitAndEveryByte) {
  const std::vector<double> reals = {0.0,
                                     -0.0,
                                     1.0 / 3.0,
                                     -1e-308,
                                     std::numeric_limits<double>::denorm_min(),
                                     std::numeric_limits<double>::infinity(),
                                     std::numeric_limits<double>::quiet_NaN()};
  const std::vector<std::string> texts = {"", " ", "a b:c", std::string("\0\n\t7:", 5), "é"};
  cli::ShardWriter out;
  out.reals(reals);
  out.texts(texts);
  out.integer(-42);
  cli::ShardReader in("f", out.bytes());
  const std::vector<double> back = in.reals();
  ASSERT_EQ(back.size(), reals.size());
  for (std::size_t k = 0; k < reals.size(); ++k) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back[k]), std::bit_cast<std::uint64_t>(reals[k]));
  }
  EXPECT_EQ(in.texts(), texts);
  EXPECT_EQ(in.integer(-100, 0), -42);
  EXPECT_TRUE(in.at_end());
}

// Each reader alone on bytes cut or out of range; a text whose length
// reaches the end (no closing blank) among them.
TEST(ShardCodec, RefusesWhatIsCutOrOutOfRange) {
  enum class Read { integers, real, text };
  struct Case {
    const char* bytes;
    Read read;
  };
  for (const Case& c :
       {Case{"", Read::integers}, Case{"12", Read::integers}, Case{"x ", Read::integers},
        Case{"99999999999999999999 ", Read::integers}, Case{"3 1 ", Read::integers},
        Case{"1 11 ", Read::integers}, Case{"0123456789abcde ", Read::real},
        Case{"0123456789abcdeg ", Read::real}, Case{"3:abc", Read::text},
        Case{"4:abc ", Read::text}, Case{"5:abc ", Read::text}, Case{":abc ", Read::text},
        Case{"3abc ", Read::text}}) {
    cli::ShardReader in("f.shard", c.bytes);
    EXPECT_THROW(
        {
          switch (c.read) {
            case Read::integers:
              (void)in.integers(0, 10);
              break;
            case Read::real:
              (void)in.real();
              break;
            case Read::text:
              (void)in.text();
              break;
          }
        },
        common::FileError)
        << c.bytes;
  }
}

cli::ShardFile small_shard() {
  cli::ShardFile shard;
  shard.part = {2, 3};
  shard.pairs = true;
  shard.record = {{"program", "quarnel"}, {"version", "1"}};
  shard.locus_pairs.loci = {"A", "B"};
  shard.locus_pairs.population_order = {"North"};
  common::LocusPairResult& row = shard.pairs_block.rows.emplace_back();
  row.locus_a = 0;
  row.locus_b = 1;
  row.result.name = "North";
  row.result.p_value = 0.125;
  shard.pairs_block.notes.resize(1);
  shard.pairs_block.log_lines = {"pair A ~ B, line 3: left out"};
  return shard;
}

TEST(ShardFile, ReadsBackWhatWasWritten) {
  const std::string bytes = cli::shard_file_bytes(small_shard());
  const cli::ShardFile back = cli::read_shard_file("s", bytes);
  EXPECT_EQ(back.part.k, 2);
  EXPECT_EQ(back.part.n, 3);
  EXPECT_EQ(back.record, small_shard().record);
  EXPECT_EQ(back.fingerprint, cli::record_fingerprint(small_shard().record));
  ASSERT_EQ(back.pairs_block.rows.size(), 1U);
  EXPECT_EQ(back.pairs_block.rows[0].result.p_value, 0.125);
  EXPECT_TRUE(std::isnan(back.pairs_block.rows[0].p_holm));
  EXPECT_EQ(back.pairs_block.log_lines, small_shard().pairs_block.log_lines);
}

// Every cut and every changed byte is refused by name, never read as a shard.
TEST(ShardFile, RefusesEveryCutAndChangedByte) {
  const std::string bytes = cli::shard_file_bytes(small_shard());
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_THROW((void)cli::read_shard_file("s", bytes.substr(0, size)), common::FileError);
  }
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    EXPECT_THROW((void)cli::read_shard_file("s", changed), common::FileError) << at;
  }
}

// An index past its names is refused even under a right checksum.
TEST(ShardFile, RefusesIndexesPastTheirNames) {
  cli::ShardFile shard = small_shard();
  shard.pairs_block.rows[0].locus_b = 2;
  EXPECT_THROW((void)cli::read_shard_file("s", cli::shard_file_bytes(shard)), common::FileError);
  shard = small_shard();
  shard.pairs_block.rows[0].result.name = "South";
  EXPECT_THROW((void)cli::read_shard_file("s", cli::shard_file_bytes(shard)), common::FileError);
}

}  // namespace
