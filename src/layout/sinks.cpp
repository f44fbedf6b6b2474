#include <cerrno>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "layout/fields_internal.h"

namespace layout {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string reason(int error) { return std::generic_category().message(error); }

// Writes one record with CR LF and flushes, so that the file is complete up
// to the last record whatever ends the run afterwards.
void write_file_record(std::FILE* file, const std::string& path, std::string_view record) {
  const std::string_view ending = detail::record_ending(LineEnd::crlf);
  if (std::fwrite(record.data(), 1, record.size(), file) != record.size() ||
      std::fwrite(ending.data(), 1, ending.size(), file) != ending.size() ||
      std::fflush(file) != 0) {
    throw common::FileError{path, 0,
                            detail::join({"cannot write to the file (", reason(errno), ")"})};
  }
}

}  // namespace

std::string detail::join(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) {
    joined += part;
  }
  return joined;
}

std::string_view detail::record_ending(LineEnd end) { return end == LineEnd::crlf ? "\r\n" : "\n"; }

StreamSink::StreamSink(std::ostream& out, LineEnd end) : out_(out), end_(end) {}

void StreamSink::write_record(std::string_view record) {
  out_ << record << detail::record_ending(end_);
}

void MemorySink::write_record(std::string_view record) { records_.emplace_back(record); }

struct ReportSink::File {
  FileHandle handle;
};

ReportSink::ReportSink(const std::string& path) : file_(std::make_unique<File>()), path_(path) {
  // "x": the file is created exclusively (O_CREAT | O_EXCL), so an existing
  // file, or a link to one, is never opened, let alone truncated.
  file_->handle.reset(std::fopen(path.c_str(), "wbx"));
  if (!file_->handle) {
    const int error = errno;
    if (error == EEXIST) {
      throw common::FileError{path, 0, "report file already exists; it is left unchanged"};
    }
    throw common::FileError{path, 0,
                            detail::join({"cannot create the report file (", reason(error), ")"})};
  }
}

ReportSink::~ReportSink() = default;

void ReportSink::write_record(std::string_view record) {
  write_file_record(file_->handle.get(), path_, record);
}

struct LogSink::File {
  FileHandle handle;
};

LogSink::LogSink(std::string path) : path_(std::move(path)) {}

LogSink::~LogSink() = default;

void LogSink::write_record(std::string_view record) {
  if (!file_) {
    // Created on the first record; "a" keeps whatever an earlier run wrote.
    FileHandle handle(std::fopen(path_.c_str(), "ab"));
    if (!handle) {
      throw common::FileError{
          path_, 0, detail::join({"cannot open the log file for appending (", reason(errno), ")"})};
    }
    file_ = std::make_unique<File>(File{std::move(handle)});
  }
  write_file_record(file_->handle.get(), path_, record);
}

}  // namespace layout
