#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>

#include "layout/fields_internal.h"

namespace layout {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// What failed, with the system's reason when it left one.
std::string failed_write(std::string_view what, int error) {
  return error == 0 ? std::string(what)
                    : common::join({what, " (", detail::system_reason(error), ")"});
}

// Writes one record with CR LF and flushes, so that the file is complete up
// to the last record whatever ends the run afterwards.
void write_file_record(std::FILE* file, const std::string& path, std::string_view record) {
  const std::string_view ending = detail::record_ending(LineEnd::crlf);
  if (std::fwrite(record.data(), 1, record.size(), file) != record.size() ||
      std::fwrite(ending.data(), 1, ending.size(), file) != ending.size() ||
      std::fflush(file) != 0) {
    throw common::FileError{path, 0, failed_write("cannot write to the file", errno)};
  }
}

}  // namespace

std::string_view detail::record_ending(LineEnd end) { return end == LineEnd::crlf ? "\r\n" : "\n"; }

StreamSink::StreamSink(std::ostream& out, LineEnd end, std::string name, WriteFailure failure)
    : out_(out), end_(end), name_(std::move(name)), failure_(failure) {}

void StreamSink::write_record(std::string_view record) {
  errno = 0;
  out_ << record << detail::record_ending(end_);
  out_.flush();
  if (!out_ && failure_ == WriteFailure::stops_the_run) {
    throw common::FileError{
        name_, 0, common::join({failed_write("cannot write", errno), "; the run is ended"})};
  }
}

void MemorySink::write_record(std::string_view record) { records_.emplace_back(record); }

void MemorySink::write_to(Sink& sink) const {
  for (const std::string& record : records_) {
    sink.write_record(record);
  }
}

void write_help(const Sinks& sinks, std::string_view line) {
  if (sinks.help != nullptr) {
    sinks.help->write_record(printable(line));
  }
}

void write_message(std::initializer_list<MessagePart> message, std::initializer_list<Sink*> sinks) {
  for (Sink* const sink : sinks) {
    for (const MessagePart& part : message) {
      write(*sink, part.layout, part.values);
    }
  }
}

void write_then_stop(std::initializer_list<MessagePart> message, std::initializer_list<Sink*> sinks,
                     common::Stop stop) {
  write_message(message, sinks);
  throw std::move(stop);
}

ReportSink::ReportSink(const std::string& path, const NamedAt& named_at)
    : out_(create_output_file(path, named_at)), path_(path) {}

ReportSink::ReportSink(std::unique_ptr<std::ostream> out, std::string path)
    : out_(std::move(out)), path_(std::move(path)) {}

ReportSink::~ReportSink() = default;

// Each record is flushed, so that the file is complete up to the last record
// whatever ends the run afterwards.
void ReportSink::write_record(std::string_view record) {
  errno = 0;
  *out_ << record << detail::record_ending(LineEnd::crlf);
  out_->flush();
  if (!*out_) {
    throw common::FileError{path_, 0, failed_write("cannot write to the file", errno)};
  }
}

struct LogSink::File {
  FileHandle handle;
};

LogSink::LogSink(std::string path) : path_(std::move(path)) {}

LogSink::~LogSink() = default;

void LogSink::write_record(std::string_view record) {
  if (!file_) {
    // Created on the first record; appending keeps whatever an earlier run wrote.
    const int fd = open_log_descriptor(path_);
    FileHandle handle(::fdopen(fd, "ab"));
    if (!handle) {
      ::close(fd);
      throw common::FileError{path_, 0,
                              common::join({"cannot open the log file for appending (",
                                            detail::system_reason(errno), ")"})};
    }
    file_ = std::make_unique<File>(File{std::move(handle)});
  }
  write_file_record(file_->handle.get(), path_, record);
}

}  // namespace layout
