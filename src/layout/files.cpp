// Opening files by name: the classic inputs, which must be regular files, and
// the output files, which are never truncated or overwritten. The streams run
// on POSIX descriptors, because the checks are made on the descriptor that is
// then read or written, not on a name that may change in between.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "layout/fields_internal.h"
#include "layout/layout.h"

namespace layout {
namespace {

constexpr std::size_t STREAM_BUFFER_SIZE = 65536;
constexpr std::string_view LEFT_UNCHANGED =
    "; it is left unchanged: remove or rename it, or choose another name";

// The error about path, at the line that named it when there is one.
common::FileError error_about(const std::string& path, const NamedAt& named_at,
                              std::string_view what) {
  if (named_at.file.empty()) {
    return common::FileError{path, 0, std::string(what)};
  }
  return common::FileError{named_at.file, named_at.line,
                           common::join({named_at.role, " \"", printable(path), "\": ", what})};
}

// What a file of this kind is, for the messages that refuse it.
std::string_view kind_of(mode_t mode) {
  if (S_ISDIR(mode)) {
    return "a directory";
  }
  if (S_ISLNK(mode)) {
    return "a symbolic link";
  }
  if (S_ISFIFO(mode)) {
    return "a FIFO (named pipe)";
  }
  if (S_ISCHR(mode) || S_ISBLK(mode)) {
    return "a device";
  }
  if (S_ISSOCK(mode)) {
    return "a socket";
  }
  return "of another kind";
}

// A descriptor that is closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  // Hands the descriptor over; it is no longer closed here.
  [[nodiscard]] int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Reads a descriptor in pieces of STREAM_BUFFER_SIZE. A read error throws
// common::FileError: a stream would take it for the end of the file.
class InputBuffer final : public std::streambuf {
 public:
  InputBuffer(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) {
      return traits_type::to_int_type(*gptr());
    }
    ssize_t count = 0;
    do {
      count = ::read(fd_.get(), buffer_.data(), buffer_.size());
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
      throw common::FileError{
          name_, 0, common::join({"cannot read the file (", detail::system_reason(errno), ")"})};
    }
    if (count == 0) {
      return traits_type::eof();
    }
    setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
    return traits_type::to_int_type(*gptr());
  }

 private:
  Descriptor fd_;
  std::string name_;
  std::array<char, STREAM_BUFFER_SIZE> buffer_{};
};

// Writes to a descriptor through a buffer. A write error makes overflow() and
// sync() fail, which sets the stream's badbit (errno tells why).
class OutputBuffer final : public std::streambuf {
 public:
  explicit OutputBuffer(int fd) : fd_(fd) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
  ~OutputBuffer() override { static_cast<void>(write_out()); }
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

 protected:
  int_type overflow(int_type c) override {
    if (!write_out()) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return write_out() ? 0 : -1; }

 private:
  // Writes the buffer out. On a failure what is not written yet moves to the
  // buffer's front, so that no byte is ever written twice.
  [[nodiscard]] bool write_out() {
    const char* next = pbase();
    bool written = true;
    while (next < pptr()) {
      const ssize_t count = ::write(fd_.get(), next, static_cast<std::size_t>(pptr() - next));
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count <= 0) {
        written = false;
        break;
      }
      next += count;
    }
    const std::ptrdiff_t rest = pptr() - next;
    std::memmove(buffer_.data(), next, static_cast<std::size_t>(rest));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    pbump(static_cast<int>(rest));
    return written;
  }

  Descriptor fd_;
  std::array<char, STREAM_BUFFER_SIZE> buffer_{};
};

// A stream that owns its buffer.
template <class Stream, class Buffer>
class OwningStream final : public Stream {
 public:
  template <class... Arguments>
  explicit OwningStream(Arguments&&... arguments)
      : Stream(nullptr), buffer_(std::forward<Arguments>(arguments)...) {
    this->rdbuf(&buffer_);
  }

 private:
  Buffer buffer_;
};

// Why an existing file, as lstat describes it, may not be taken as an output
// file; empty when it may (an empty regular file, where empty files are taken).
std::string output_refusal(const struct stat& status, EmptyFiles empty = EmptyFiles::taken) {
  if (S_ISREG(status.st_mode)) {
    if (status.st_size != 0) {
      return "already exists and is not empty";
    }
    return empty == EmptyFiles::refused ? "already exists (empty)" : "";
  }
  return common::join({"already exists and is ", kind_of(status.st_mode)});
}

// Why path may not be an output file; empty when it may (it does not exist,
// or exists as an empty regular file that may be taken). The name itself is
// looked at (lstat): a symbolic link is refused, never followed.
std::string output_path_refusal(const std::string& path, EmptyFiles empty = EmptyFiles::taken) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return errno == ENOENT
               ? ""
               : common::join({"cannot be checked (", detail::system_reason(errno), ")"});
  }
  return output_refusal(status, empty);
}

// The descriptor of a new or empty output file, opened for appending.
int open_output_descriptor(const std::string& path, const NamedAt& named_at) {
  constexpr mode_t permissions = 0666;  // less the umask, as for any new file
  // O_EXCL: the creation fails on any existing name, a link included, so
  // nothing that exists is ever opened this way. O_APPEND: should another
  // program write to the file while the run has it open, its bytes are kept
  // and ours follow them; no offset of ours can overwrite anything.
  const int created =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, permissions);
  if (created >= 0) {
    return created;
  }
  if (errno != EEXIST) {
    throw error_about(path, named_at,
                      common::join({"cannot create it (", detail::system_reason(errno), ")"}));
  }
  // The name exists. It is looked at before it is opened, so that nothing
  // but a regular file is opened (opening a FIFO would block, opening a
  // device may act on it); it is opened without O_TRUNC, not through a
  // link, and without waiting; and the open descriptor is checked again,
  // because the name may have been replaced in between.
  if (const std::string refusal = output_path_refusal(path); !refusal.empty()) {
    throw error_about(path, named_at, common::join({refusal, LEFT_UNCHANGED}));
  }
  Descriptor existing(
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (existing.get() < 0) {
    throw error_about(path, named_at,
                      common::join({"cannot open it (", detail::system_reason(errno), ")"}));
  }
  struct stat status {};
  if (::fstat(existing.get(), &status) != 0) {
    throw error_about(path, named_at,
                      common::join({"cannot be checked (", detail::system_reason(errno), ")"}));
  }
  if (const std::string refusal = output_refusal(status); !refusal.empty()) {
    throw error_about(path, named_at, common::join({refusal, LEFT_UNCHANGED}));
  }
  return existing.release();
}

}  // namespace

std::unique_ptr<std::istream> open_input(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw common::FileError{path, 0, "is a directory, not a file"};
  }
  auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!in->is_open()) {
    throw common::FileError{path, 0, "cannot open file for reading"};
  }
  return in;
}

std::unique_ptr<std::istream> open_regular_input(const std::string& path, const NamedAt& named_at) {
  const auto refuse = [&](mode_t mode) {
    return error_about(path, named_at,
                       common::join({"is ", kind_of(mode), ", not a regular file; name a file"}));
  };
  const auto cannot = [&](std::string_view what) {
    return error_about(path, named_at,
                       common::join({what, " (", detail::system_reason(errno), ")"}));
  };
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    throw cannot("cannot open it for reading");
  }
  if (!S_ISREG(status.st_mode)) {
    throw refuse(status.st_mode);
  }
  // O_NONBLOCK: should the name have become a FIFO since the check, open()
  // returns at once instead of waiting for a writer; reads of a regular
  // file do not depend on it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    throw cannot("cannot open it for reading");
  }
  auto in = std::make_unique<OwningStream<std::istream, InputBuffer>>(fd, path);
  if (::fstat(fd, &status) != 0) {
    throw cannot("cannot be checked");
  }
  if (!S_ISREG(status.st_mode)) {
    throw refuse(status.st_mode);
  }
  return in;
}

void check_output_files(std::span<const std::string> paths, EmptyFiles empty) {
  std::vector<std::string> refused;  // "name" and its reason, per refused file
  std::string first;                 // the first refused file and its reason, for a single refusal
  std::string first_refusal;
  for (const std::string& path : paths) {
    std::string refusal = output_path_refusal(path, empty);
    if (refusal.empty()) {
      continue;
    }
    if (refused.empty()) {
      first = path;
      first_refusal = refusal;
    }
    refused.push_back(common::join({"\"", printable(path), "\" ", refusal}));
  }
  if (refused.empty()) {
    return;
  }
  if (refused.size() == 1) {
    throw common::FileError{first, 0, common::join({first_refusal, LEFT_UNCHANGED})};
  }
  std::string what = common::join({integer_text(static_cast<int>(refused.size())),
                                   " output files are refused and left unchanged: "});
  for (std::size_t k = 0; k < refused.size(); ++k) {
    what += (k == 0 ? "" : "; ") + refused[k];
  }
  what += "; remove or rename them, or choose other names";
  throw common::FileError{"", 0, what};
}

std::unique_ptr<std::ostream> create_output_file(const std::string& path, const NamedAt& named_at) {
  return std::make_unique<OwningStream<std::ostream, OutputBuffer>>(
      open_output_descriptor(path, named_at));
}

std::unique_ptr<std::ostream> create_new_file(const std::string& path) {
  constexpr mode_t permissions = 0666;  // less the umask, as for any new file
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions);
  if (fd < 0) {
    if (errno == EEXIST) {
      return nullptr;
    }
    throw common::FileError{
        path, 0, common::join({"cannot create it (", detail::system_reason(errno), ")"})};
  }
  return std::make_unique<OwningStream<std::ostream, OutputBuffer>>(fd);
}

void check_log_file(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) {
      return;
    }
    throw common::FileError{
        path, 0, common::join({"cannot be checked (", detail::system_reason(errno), ")"})};
  }
  if (!S_ISREG(status.st_mode)) {
    throw common::FileError{path, 0,
                            common::join({"is ", kind_of(status.st_mode),
                                          ", not a regular file: the log is appended only to a "
                                          "regular file; remove or rename it"})};
  }
}

int open_log_descriptor(const std::string& path) {
  constexpr mode_t permissions = 0666;
  // Not through a link, and without waiting should the name be a FIFO; the
  // open descriptor is then checked to be a regular file.
  Descriptor fd(::open(path.c_str(),
                       O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       permissions));
  if (fd.get() < 0) {
    if (errno == ELOOP) {
      check_log_file(path);  // names the symbolic link
    }
    throw common::FileError{path, 0,
                            common::join({"cannot open the log file for appending (",
                                          detail::system_reason(errno), ")"})};
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    check_log_file(path);
    throw common::FileError{path, 0, "is not a regular file: the log is refused"};
  }
  // Back to blocking writes.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    throw common::FileError{path, 0,
                            common::join({"cannot open the log file for appending (",
                                          detail::system_reason(errno), ")"})};
  }
  return fd.release();
}

}  // namespace layout
