// The file sinks and the openers on disk, in a fresh temporary folder: the
// only layout tests that touch the disk, because exclusive creation,
// appending and the kinds of files are properties of the file system calls
// themselves.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "layout/layout.h"
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;

// What stands at a name before an output file is opened there.
enum class Existing { nothing, empty_file, full_file, directory, link_to_empty_file, fifo };

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
  // Puts what `existing` says at name.
  void make(const std::string& name, Existing existing) const {
    switch (existing) {
      case Existing::nothing:
        break;
      case Existing::empty_file:
        put(name, "");
        break;
      case Existing::full_file:
        put(name, "earlier results\r\n");
        break;
      case Existing::directory:
        fs::create_directory(path(name));
        break;
      case Existing::link_to_empty_file:
        put("target", "");
        fs::create_symlink(path("target"), path(name));
        break;
      case Existing::fifo:
        ASSERT_EQ(::mkfifo(path(name).c_str(), 0600), 0);
        break;
    }
  }

 private:
  fs::path dir_;
};

// The FileError that action throws as "file:line: what", or "taken".
std::string outcome_of(const std::function<void()>& action) {
  const std::string error = test_support::error_of(action);
  return error.empty() ? "taken" : error;
}

TEST_F(LayoutFiles, NewOrEmptyFilesAreTakenAndNothingElseIsTouched) {
  // What exists, how opening the report ends (after the folder's path).
  const std::pair<Existing, std::string> cases[] = {
      {Existing::nothing, "taken"},
      {Existing::empty_file, "taken"},
      {Existing::full_file, "out.txt:0: already exists and is not empty; it is left unchanged"},
      {Existing::directory, "out.txt:0: already exists and is a directory"},
      {Existing::link_to_empty_file, "out.txt:0: already exists and is a symbolic link"},
      {Existing::fifo, "out.txt:0: already exists and is a FIFO"},  // and open() does not wait
  };
  for (const auto& [existing, end] : cases) {
    SCOPED_TRACE(end);
    make("out.txt", existing);
    const std::string outcome = outcome_of([&] {
      layout::ReportSink report(path("out.txt"));
      layout::write(report, "('run ',I1)", {2});
    });
    EXPECT_EQ(outcome.substr(0, std::min(outcome.size(), path("").size() + end.size())),
              end == "taken" ? end : path("") + end);
    if (existing == Existing::full_file) {
      EXPECT_EQ(contents("out.txt"), "earlier results\r\n");
    } else if (end == "taken") {
      EXPECT_EQ(contents("out.txt"), "run 2\r\n");
    }
    if (existing == Existing::link_to_empty_file) {
      EXPECT_EQ(contents("target"), "");
    }
    fs::remove_all(path("out.txt"));
    fs::remove_all(path("target"));
  }
}

TEST_F(LayoutFiles, WhatAnotherProgramAppendsMeanwhileIsKept) {
  put("out.txt", "");
  const std::unique_ptr<std::ostream> out = layout::create_output_file(path("out.txt"));
  std::ofstream(path("out.txt"), std::ios::app) << "theirs ";
  *out << "ours" << std::flush;
  EXPECT_TRUE(*out);
  EXPECT_EQ(contents("out.txt"), "theirs ours");
}

TEST_F(LayoutFiles, ClassicInputsMustBeRegularFiles) {
  make("fifo", Existing::fifo);  // open() would wait for a writer
  fs::create_directory(path("folder"));
  const layout::NamedAt named{"group.dat", 3, "data file"};
  const std::pair<std::string, std::string> cases[] = {
      {path("fifo"), "is a FIFO (named pipe), not a regular file"},
      {path("folder"), "is a directory, not a regular file"},
      {path("none"), "cannot open it for reading (No such file or directory)"},
  };
  for (const auto& [file_name, what] : cases) {
    const std::string name = file_name;
    EXPECT_EQ(outcome_of([&] { (void)layout::open_regular_input(name, named); }),
              "group.dat:3: data file \"" + name + "\": " + what +
                  (what.starts_with("is") ? "; name a file" : ""));
  }
  // Named by nothing but itself, as the control file is.
  EXPECT_EQ(outcome_of([&] { (void)layout::open_regular_input(path("fifo")); }),
            path("fifo") + ":0: is a FIFO (named pipe), not a regular file; name a file");
  EXPECT_EQ(outcome_of([&] { (void)layout::open_regular_input(path("none")); }),
            path("none") + ":0: cannot open it for reading (No such file or directory)");
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
