// The file sinks and open_input on disk, in a fresh temporary folder: the only
// layout tests that touch the disk, because exclusive creation and appending
// are properties of the file system calls themselves.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "layout/layout.h"

namespace {

namespace fs = std::filesystem;

class LayoutFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = fs::temp_directory_path() /
           ("quarnel_layout_test_" + test + "_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }
  [[nodiscard]] std::string contents(const std::string& name) const {
    std::ostringstream text;
    text << std::ifstream(path(name), std::ios::binary).rdbuf();
    return text.str();
  }
  void put(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }

 private:
  fs::path dir_;
};

TEST_F(LayoutFiles, ReportRefusesAnExistingFileAndLeavesItUnchanged) {
  put("out.txt", "earlier results\n");
  EXPECT_THROW(layout::ReportSink{path("out.txt")}, common::FileError);
  EXPECT_EQ(contents("out.txt"), "earlier results\n");
}

TEST_F(LayoutFiles, LogIsCreatedOnFirstWriteAndAppendedTo) {
  { const layout::LogSink unused(path("out.txt.log")); }
  EXPECT_FALSE(fs::exists(path("out.txt.log")));
  put("out.txt.log", "run 1\r\n");
  layout::LogSink log(path("out.txt.log"));
  layout::write(log, "('run ',I1)", {2});
  EXPECT_EQ(contents("out.txt.log"), "run 1\r\nrun 2\r\n");  // written through at once
}

TEST_F(LayoutFiles, OpenInputRefusesAFolder) {
  EXPECT_THROW((void)layout::open_input(path("")), common::FileError);
}

}  // namespace
