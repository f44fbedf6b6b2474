#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "output/output.h"

namespace output {

namespace {

// How often the watcher looks whether the run has ended.
constexpr long WATCH_NANOSECONDS = 100'000'000;

}  // namespace

Interrupts::Interrupts() {
  sigemptyset(&signals_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&signals_, signal);
  }
  pthread_sigmask(SIG_BLOCK, &signals_, &before_);
  watcher_ = std::thread([this] { watch(); });
}

Interrupts::~Interrupts() {
  stopping_ = true;
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void Interrupts::list(const Hold& /*held*/, const std::string& path) { listed_.push_back(path); }

void Interrupts::unlist(const Hold& /*held*/, const std::string& path) {
  listed_.erase(std::remove(listed_.begin(), listed_.end(), path), listed_.end());
}

void Interrupts::watch() {
  const timespec wait{0, WATCH_NANOSECONDS};
  while (!stopping_) {
    const int signal = sigtimedwait(&signals_, nullptr, &wait);
    if (signal <= 0) {
      continue;
    }
    // Kept locked: the process ends here, and nothing may list or move a
    // file in between.
    mutex_.lock();
    for (const std::string& path : listed_) {
      ::unlink(path.c_str());
    }
    // Ends as the signal would: its default action, on this thread.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
  }
}

}  // namespace output
