// The file sinks and open_input on disk, in a fresh temporary folder: the only
// layout tests that touch the disk, because exclusive creation and appending
// are properties of the file system calls themselves.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "layout/layout.h"

namespace {

namespace fs = std::filesystem;

// The FileError that action throws; a test failure when it throws none.
common::FileError file_error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const common::FileError& error) {
    return error;
  }
  ADD_FAILURE() << "no FileError";
  return {};
}

class LayoutFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("quarnel_layout_test_" + std::string(info->name()) + "_" +
                                        std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static std::string contents(const std::string& file) {
    std::string text(fs::file_size(file), '\0');
    std::ifstream(file, std::ios::binary).read(text.data(), std::ssize(text));
    return text;
  }

  static void put(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }

 private:
  fs::path dir_;
};

TEST_F(LayoutFiles, ReportIsCreatedWithCrLf) {
  {
    layout::ReportSink report(path("out.txt"));
    layout::write(report, "(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')");
    EXPECT_EQ(contents(path("out.txt")), "\r\n END OF FILE ENCOUNTERED UNEXPECTEDLY\r\n");
  }
  EXPECT_EQ(contents(path("out.txt")), "\r\n END OF FILE ENCOUNTERED UNEXPECTEDLY\r\n");
}

TEST_F(LayoutFiles, ExistingReportIsLeftUnchanged) {
  put(path("out.txt"), "earlier results\n");
  const common::FileError error =
      file_error_of([&] { const layout::ReportSink report(path("out.txt")); });
  EXPECT_EQ(error.file, path("out.txt"));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(error.what, "report file already exists; it is left unchanged");
  EXPECT_EQ(contents(path("out.txt")), "earlier results\n");
}

TEST_F(LayoutFiles, ReportThatCannotBeCreated) {
  EXPECT_THROW(layout::ReportSink(path("missing/out.txt")), common::FileError);
}

TEST_F(LayoutFiles, LogIsCreatedOnFirstWriteAndAppended) {
  { layout::LogSink log(path("out.txt.log")); }
  EXPECT_FALSE(fs::exists(path("out.txt.log")));
  put(path("out.txt.log"), "run 1\r\n");
  {
    layout::LogSink log(path("out.txt.log"));
    layout::write(log, "('run ',I1)", {2});
    EXPECT_EQ(contents(path("out.txt.log")), "run 1\r\nrun 2\r\n");  // flushed at once
  }
  EXPECT_EQ(contents(path("out.txt.log")), "run 1\r\nrun 2\r\n");
}

TEST_F(LayoutFiles, OpenInputReadsTheFile) {
  put(path("data.txt"), "A1\r\nB2");
  const std::unique_ptr<std::istream> in = layout::open_input(path("data.txt"));
  layout::RecordReader reader(*in, "data.txt");
  common::FixedText<2> value;
  EXPECT_EQ(reader.read("(A2)", {layout::target(value)}), layout::ReadStatus::ok);
  EXPECT_EQ(reader.read("(A2)", {layout::target(value)}), layout::ReadStatus::ok);
  EXPECT_EQ(value.view(), "B2");
  EXPECT_EQ(reader.read("(A2)", {layout::target(value)}), layout::ReadStatus::end_of_file);
}

TEST_F(LayoutFiles, OpenInputRefusesMissingFilesAndFolders) {
  const common::FileError missing =
      file_error_of([&] { (void)layout::open_input(path("absent")); });
  EXPECT_EQ(missing.file, path("absent"));
  EXPECT_EQ(missing.line, 0);
  EXPECT_EQ(missing.what, "cannot open file for reading");
  const common::FileError folder = file_error_of([&] { (void)layout::open_input(path("")); });
  EXPECT_EQ(folder.what, "is a directory, not a file");
}

}  // namespace
