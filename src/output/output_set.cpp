#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <system_error>

#include "common/stop.h"
#include "common/text.h"
#include "layout/layout.h"
#include "output/output.h"

namespace output {

namespace {

// How many temporary names are tried before a run gives up (each is taken
// only if no file has it).
constexpr int TEMPORARY_NAME_TRIES = 1000;

// The system's words for an error number (thread-safe, unlike strerror).
std::string reason(int error) { return std::generic_category().message(error); }

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Moves from to to, failing if to exists. Returns 0 or an errno value.
int move_without_replacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return errno;
  }
  // A file system without that move: a second name, then the first removed.
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

void check_folders(const std::vector<std::string>& paths) {
  std::set<std::string> folders;
  for (const std::string& path : paths) {
    folders.insert(folder_of(path));
  }
  for (const std::string& folder : folders) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
      throw common::FileError{folder, 0,
                              common::join({"the output folder cannot be used (", reason(errno),
                                            "); create it, or choose another with --out"})};
    }
    if (!S_ISDIR(status.st_mode)) {
      throw common::FileError{folder, 0, "is not a folder; choose another with --out"};
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
      throw common::FileError{folder, 0,
                              common::join({"the output folder cannot be written to (",
                                            reason(errno), "); choose another with --out"})};
    }
  }
}

RunLock::RunLock(std::string path, const std::string& what, Interrupts* interrupts)
    : path_(std::move(path)), interrupts_(interrupts) {
  // A lock file removed by the run that held it may have been opened just
  // before: the lock then holds a name no longer there, and is taken again.
  for (;;) {
    constexpr mode_t permissions = 0666;
    const int fd =
        ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, permissions);
    if (fd < 0) {
      throw common::FileError{path_, 0,
                              common::join({"cannot create the lock file (", reason(errno), ")"})};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) {
        throw common::FileError{path_, 0,
                                common::join({"another run is writing ", what,
                                              " (it holds this lock); wait for it to end, or "
                                              "choose another name"})};
      }
      throw common::FileError{path_, 0,
                              common::join({"cannot lock the lock file (", reason(error), ")"})};
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      fd_ = fd;
      if (interrupts_ != nullptr) {
        interrupts_->list(interrupts_->hold(), path_);
      }
      return;
    }
    ::close(fd);
  }
}

RunLock::~RunLock() {
  if (interrupts_ != nullptr) {
    interrupts_->unlist(interrupts_->hold(), path_);
  }
  // Removed while held, so that no other run holds it in between.
  ::unlink(path_.c_str());
  ::close(fd_);
}

OutputSet::OutputSet(std::vector<std::string> finals, const std::string& prefix,
                     Interrupts* interrupts)
    : finals_(std::move(finals)), interrupts_(interrupts) {
  const std::string lock_path = prefix + ".lock";
  std::vector<std::string> all = finals_;
  all.push_back(lock_path);
  check_folders(all);
  lock_.emplace(lock_path, "the result files " + prefix + ".*", interrupts_);
  layout::check_output_files(finals_, layout::EmptyFiles::refused);
}

void OutputSet::reserve(const std::string& final) {
  const std::vector<std::string> paths = {final};
  check_folders(paths);
  layout::check_output_files(paths, layout::EmptyFiles::refused);
  finals_.push_back(final);
}

OutputSet::~OutputSet() {
  if (!committed_) {
    remove_all();
  }
}

std::unique_ptr<std::ostream> OutputSet::open(const std::string& final) {
  for (int k = 0; k < TEMPORARY_NAME_TRIES; ++k) {
    const std::string temporary = final + ".partial-" + std::to_string(::getpid()) +
                                  (k == 0 ? std::string() : "-" + std::to_string(k));
    std::optional<Interrupts::Hold> held;
    if (interrupts_ != nullptr) {
      held.emplace(interrupts_->hold());
      interrupts_->list(*held, temporary);
    }
    std::unique_ptr<std::ostream> out = layout::create_new_file(temporary);
    if (out) {
      written_.push_back({final, temporary});
      return out;
    }
    if (interrupts_ != nullptr) {
      interrupts_->unlist(*held, temporary);
    }
  }
  throw common::FileError{final, 0, "cannot find a free temporary name beside it"};
}

void OutputSet::write(const std::string& final, const std::function<void(std::ostream&)>& writer) {
  const std::unique_ptr<std::ostream> out = open(final);
  errno = 0;
  writer(*out);
  out->flush();
  if (!*out) {
    const int error = errno;
    throw common::FileError{
        final, 0,
        error == 0 ? std::string("cannot write the result file")
                   : common::join({"cannot write the result file (", reason(error), ")"})};
  }
}

void OutputSet::commit() {
  std::optional<Interrupts::Hold> held;
  if (interrupts_ != nullptr) {
    held.emplace(interrupts_->hold());
  }
  for (const Written& file : written_) {
    if (const int error = move_without_replacing(file.temporary, file.final); error != 0) {
      held.reset();
      throw common::FileError{
          file.final, 0,
          error == EEXIST
              ? std::string("appeared while the run was writing it; it is left unchanged, and "
                            "no result file of this run is kept")
              : common::join({"cannot move the result file to its name (", reason(error),
                              "); no result file of this run is kept"})};
    }
    moved_.push_back(file.final);
    if (interrupts_ != nullptr) {
      interrupts_->list(*held, file.final);
      interrupts_->unlist(*held, file.temporary);
    }
  }
  // Whole now: an interruption from here on leaves them.
  for (const std::string& final : moved_) {
    if (interrupts_ != nullptr) {
      interrupts_->unlist(*held, final);
    }
  }
  committed_ = true;
}

void OutputSet::remove_all() {
  std::optional<Interrupts::Hold> held;
  if (interrupts_ != nullptr) {
    held.emplace(interrupts_->hold());
  }
  for (const Written& file : written_) {
    ::unlink(file.temporary.c_str());
    if (interrupts_ != nullptr) {
      interrupts_->unlist(*held, file.temporary);
    }
  }
  for (const std::string& final : moved_) {
    ::unlink(final.c_str());
    if (interrupts_ != nullptr) {
      interrupts_->unlist(*held, final);
    }
  }
}

}  // namespace output
