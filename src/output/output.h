#pragma once

// The result files of a run are whole or absent: reserved under a lock at
// the start, written under temporary names, and moved to their names all
// together when the run completes; a run that fails, stops or is
// interrupted leaves none of them under its name.

#include <signal.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace output {

// Interrupting signals (SIGINT, SIGTERM, SIGHUP) are taken by a watcher
// thread instead of ending the process where it stands: the files the run
// has listed are removed, and the process then ends as the signal would
// (status 128 + n). Constructed before any other thread starts (the signals
// are blocked in the constructing thread, and so in every thread it starts);
// one per process.
class Interrupts {
 public:
  Interrupts();
  ~Interrupts();
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;

  // The list may change only while held, so that the watcher sees either the
  // state before a move of a file or the state after it.
  class Hold {
   public:
    explicit Hold(std::mutex& mutex) : lock_(mutex) {}

   private:
    std::unique_lock<std::mutex> lock_;
  };
  [[nodiscard]] Hold hold() { return Hold(mutex_); }
  // Files to remove should the run be interrupted.
  void list(const Hold& held, const std::string& path);
  void unlist(const Hold& held, const std::string& path);

 private:
  void watch();

  std::mutex mutex_;
  std::vector<std::string> listed_;
  sigset_t signals_{};
  sigset_t before_{};
  std::atomic<bool> stopping_{false};
  std::thread watcher_;
};

// A lock held for the whole run on a lock file beside the outputs (created
// if need be, removed at the end): a second run on the same outputs is
// refused at once, and a run that was killed leaves no lock that blocks.
class RunLock {
 public:
  // what: the outputs, for the refusal ("the result files PREFIX.*"). With
  // interrupts, an interruption removes the lock file as the run's end does.
  RunLock(std::string path, const std::string& what, Interrupts* interrupts = nullptr);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  std::string path_;
  int fd_ = -1;
  Interrupts* interrupts_ = nullptr;
};

// Checks that each path's folder exists and can be written to, before any
// computation. Throws common::FileError naming the folder.
void check_folders(const std::vector<std::string>& paths);

// The result files of one run. Construction checks their folders, takes the
// lock PREFIX.lock and refuses any of them that exists (empty or not).
class OutputSet {
 public:
  OutputSet(std::vector<std::string> finals, const std::string& prefix, Interrupts* interrupts);
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Adds final to the set once the run knows it is written (a further page
  // of a picture): refused as the first ones are when it exists, or when its
  // folder cannot be written to.
  void reserve(const std::string& final);
  // A new temporary file for final (one of the set's), open for writing.
  [[nodiscard]] std::unique_ptr<std::ostream> open(const std::string& final);
  // Writes final's temporary in one go; a write error names final and why.
  void write(const std::string& final, const std::function<void(std::ostream&)>& writer);
  // Moves every file written to its name, never over an existing file; if a
  // move fails, the files already moved are removed again and the error
  // (common::FileError) names the file and the reason.
  void commit();

 private:
  struct Written {
    std::string final;
    std::string temporary;
  };
  void remove_all();

  std::vector<std::string> finals_;
  std::optional<RunLock> lock_;
  Interrupts* interrupts_;
  std::vector<Written> written_;
  std::vector<std::string> moved_;
  bool committed_ = false;
};

}  // namespace output
