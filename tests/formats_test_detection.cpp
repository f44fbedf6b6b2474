// Choosing the format: --format, detection from the first bytes, the
// extension breaking ties, and the bytes detection read given back.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "common/stop.h"
#include "formats/formats.h"
#include "support/capture.h"

namespace {

using test_support::error_of;

TEST(FormatChoice, DetectionAndTheExtension) {
  const struct {
    const char* path;
    std::string head;
    const char* format;  // "": an error
  } cases[] = {
      {"t.csv", "pop,A,A\nP,x,y\n", "table"},
      {"t.dat", "pop\tA\tA\nP\tx\ty\n", "table"},  // a table whatever its name
      {"t.csv", "", "table"},                      // nothing to tell: the extension
      {"t.xyz", "hello\n", ""},
      {"t.xyz", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + std::string(" ") + c.head);
    if (*c.format == '\0') {
      EXPECT_NE(error_of([&] {
                  static_cast<void>(formats::detect_format(c.path, c.head));
                }).find("--format"),
                std::string::npos);
    } else {
      EXPECT_EQ(formats::detect_format(c.path, c.head).name, c.format);
    }
  }
  EXPECT_EQ(error_of([] { static_cast<void>(formats::format_named("gene")); }).substr(0, 31),
            "--format:0: knows no format \"ge");
}

// A file longer than what detection reads is read whole, as a pipe would be.
TEST(FormatChoice, TheBytesDetectionReadAreReadAgain) {
  const std::string path = testing::TempDir() + "long_table.dat";
  {
    std::ofstream out(path);
    out << "pop\tA_1\tA_2\n";
    for (int i = 0; i < 20000; ++i) {
      out << "P\t" << i % 7 + 1 << '\t' << i % 5 << '\n';
    }
  }
  const formats::ReadGenotypes read =
      formats::read_genotypes(path, "", {}, [](const std::string&) {});
  EXPECT_TRUE(read.detected);
  EXPECT_EQ(read.format->name, "table");
  ASSERT_EQ(read.data.individuals.size(), 20000U);
  EXPECT_EQ(read.data.individuals.back().typings[0][0], std::to_string(19999 % 7 + 1));
  std::remove(path.c_str());
}

}  // namespace
