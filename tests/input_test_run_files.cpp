#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "input/input.h"
#include "support/capture.h"
#include "support/text_files.h"

namespace {

using test_support::file_error_at;
using test_support::lines;
using test_support::run_capturing;
using test_support::TextFile;

input::RunFileNames names_of(const std::string& text) {
  TextFile control(text, "group.dat");
  return input::read_file_names(control.reader());
}

TEST(ReadFileNames, PassesOverTwoLinesAndKeepsLeadingBlanks) {
  TextFile control(lines({"", "", "  pheno.dat   ", "out.txt", "unused.out", "   1", "garbage"}),
                   "group.dat");
  const input::RunFileNames names = input::read_file_names(control.reader());
  EXPECT_EQ(names.data_file_name, "  pheno.dat");
  EXPECT_EQ(names.report_file_name, "out.txt");
  EXPECT_EQ(control.reader().line_number(), 5);  // nothing after the third name
}

TEST(ReadFileNames, CutsNamesAtFortyColumnsAndAcceptsABlankThirdName) {
  const std::string forty(40, 'd');
  const input::RunFileNames names =
      names_of(lines({"free", "free", forty + "EXTRA", std::string(39, 'r') + "sTAIL", ""}));
  EXPECT_EQ(names.data_file_name, forty);
  EXPECT_EQ(names.report_file_name, std::string(39, 'r') + "s");
}

TEST(ReadFileNames, EndOfFileOrBlankNameNamesTheLine) {
  struct Case {
    std::vector<std::string> text;
    int line;
    std::string what;
  };
  const std::vector<Case> cases = {
      {{}, 1, "end of file"},
      {{"only one line"}, 2, "end of file"},
      {{"a", "b"}, 3, "data file name"},
      {{"a", "b", "data"}, 4, "report file name"},
      {{"a", "b", "data", "report"}, 5, "third file name"},
      {{"a", "b", "   ", "report", "third"}, 3, "blank file name"},
      {{"a", "b", "data", "", "third"}, 4, "blank file name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_TRUE(file_error_at(run_capturing([&] { static_cast<void>(names_of(lines(c.text))); }),
                              "group.dat", c.line, c.what));
  }
}

// A fresh directory, removed with its files at the end of the test.
class ScratchDirectory {
 public:
  ScratchDirectory()
      : dir_(std::filesystem::temp_directory_path() /
             ("quarnel_input_test_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDirectory() { std::filesystem::remove_all(dir_); }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  [[nodiscard]] std::string contents(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::filesystem::path dir_;
};

// The one test on real files: each step adds the file the previous one missed.
TEST(OpenRunFiles, NeedsControlAndDataFileAndNeverTouchesAnExistingReport) {
  const ScratchDirectory dir;
  const std::string control = dir.path("group.dat");
  const auto open = [&] { static_cast<void>(input::open_run_files(control)); };

  EXPECT_TRUE(file_error_at(run_capturing(open), control, 0));

  dir.put("group.dat", lines({"", "", dir.path("pheno.dat"), dir.path("out.txt"), ""}));
  const test_support::Outcome no_data = run_capturing(open);
  ASSERT_EQ(no_data.kind, test_support::Outcome::Kind::file_error);
  EXPECT_EQ(no_data.error.file, dir.path("pheno.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir.path("out.txt")));

  dir.put("pheno.dat", "first line\n");
  {
    const input::RunFiles files = input::open_run_files(control);
    EXPECT_EQ(files.data_file_name, dir.path("pheno.dat"));
    EXPECT_EQ(files.report_file_name, dir.path("out.txt"));
    EXPECT_EQ(files.control->line_number(), 5);
    EXPECT_EQ(files.data->line_number(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path("out.txt")));
  }

  dir.put("out.txt", "earlier results\r\n");
  const test_support::Outcome existing = run_capturing(open);
  ASSERT_EQ(existing.kind, test_support::Outcome::Kind::file_error);
  EXPECT_EQ(existing.error.file, dir.path("out.txt"));
  EXPECT_EQ(dir.contents("out.txt"), "earlier results\r\n");
}

}  // namespace
