// Result files whole or absent: the set is reserved under a lock, written
// under temporary names and moved to its names together; a failure or an
// interruption leaves none of it.

#include "output/output.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/stop.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed at its end.
class Folder {
 public:
  Folder() : path_(fs::temp_directory_path() / ("quarnel-output-" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  [[nodiscard]] std::string operator/(const std::string& name) const { return path_ / name; }
  // The names in the folder, sorted.
  [[nodiscard]] std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
      found.push_back(entry.path().filename());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

 private:
  fs::path path_;
};

std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const common::FileError& error) {
    return error.file + ": " + error.what;
  }
  return "";
}

void write_two(output::OutputSet& outputs, const Folder& folder) {
  outputs.write(folder / "r.a.tsv", [](std::ostream& out) { out << "a\n"; });
  outputs.write(folder / "r.b.tsv", [](std::ostream& out) { out << "b\n"; });
}

TEST(OutputSet, CommitsWholeFilesAndLeavesNothingElse) {
  const Folder folder;
  {
    output::OutputSet outputs({folder / "r.a.tsv", folder / "r.b.tsv"}, folder / "r", nullptr);
    write_two(outputs, folder);
    EXPECT_EQ(folder.names().size(), 3U);  // two temporaries and the lock
    outputs.commit();
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"r.a.tsv", "r.b.tsv"}));
  std::string line;
  std::ifstream in(folder / "r.b.tsv");
  std::getline(in, line);
  EXPECT_EQ(line, "b");
}

TEST(OutputSet, RefusalsBeforeAnyWork) {
  const Folder folder;
  std::ofstream(folder / "empty.a.tsv").flush();
  const output::OutputSet held({folder / "held.a.tsv"}, folder / "held", nullptr);
  struct Case {
    std::string prefix;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"empty", "already exists (empty)"},
      {"held", "another run is writing the result files"},
      {"missing/r", "the output folder cannot be used (No such file or directory)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    const std::string said = error_of([&] {
      const output::OutputSet outputs({folder / (c.prefix + ".a.tsv")}, folder / c.prefix, nullptr);
    });
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
  }
}

// A page known only after the table is read joins the set on the same
// terms: refused when it exists, committed and undone with the others.
TEST(OutputSet, AFurtherFileReservedLater) {
  const Folder folder;
  std::ofstream(folder / "r.3.svg") << "theirs\n";
  {
    output::OutputSet outputs({folder / "r.a.tsv"}, folder / "r", nullptr);
    outputs.reserve(folder / "r.2.svg");
    EXPECT_NE(error_of([&] { outputs.reserve(folder / "r.3.svg"); }).find("already exists"),
              std::string::npos);
    outputs.write(folder / "r.a.tsv", [](std::ostream& out) { out << "a\n"; });
    outputs.write(folder / "r.2.svg", [](std::ostream& out) { out << "page\n"; });
    outputs.commit();
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"r.2.svg", "r.3.svg", "r.a.tsv"}));
}

TEST(OutputSet, AFileThatAppearsMeanwhileUndoesTheWholeSet) {
  const Folder folder;
  {
    output::OutputSet outputs({folder / "r.a.tsv", folder / "r.b.tsv"}, folder / "r", nullptr);
    write_two(outputs, folder);
    std::ofstream(folder / "r.b.tsv") << "theirs\n";
    EXPECT_NE(error_of([&] { outputs.commit(); }).find("appeared while the run was writing it"),
              std::string::npos);
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"r.b.tsv"}));  // theirs, untouched
}

// A child writes the set and is interrupted before the move: it ends by the
// signal, and nothing of the set is left.
TEST(OutputSet, AnInterruptionWhileWritingLeavesNothing) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const Folder folder;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      output::Interrupts interrupts;
      output::OutputSet outputs({folder / "r.a.tsv", folder / "r.b.tsv"}, folder / "r",
                                &interrupts);
      write_two(outputs, folder);
      ::kill(::getpid(), signal);
      ::pause();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(folder.names(), std::vector<std::string>());
  }
}

// A full disk: the write fails with its reason and nothing is left. Needs a
// small tmpfs, which only root may mount.
TEST(OutputSet, AFullDiskNamesTheFileAndLeavesNothing) {
  const Folder folder;
  const std::string small = folder / "small";
  fs::create_directories(small);
  if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "skipped: mounting a small tmpfs needs root";
  }
  const std::string said = error_of([&] {
    output::OutputSet outputs({small + "/r.a.tsv"}, small + "/r", nullptr);
    outputs.write(small + "/r.a.tsv", [](std::ostream& out) { out << std::string(1 << 16, 'x'); });
  });
  EXPECT_NE(said.find("cannot write the result file (No space left on device)"), std::string::npos)
      << said;
  EXPECT_TRUE(fs::is_empty(small));
  ::umount(small.c_str());
}

}  // namespace
