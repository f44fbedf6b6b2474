#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "estimate/estimate.h"

// The driver's worker pool: the permuted data sets of a run are estimated
// on it, and the tests of a run of locus pairs run side by side on it.

namespace driver {

// Worker threads that stay for the whole run, each with its EM workspace
// (so that its tables keep their capacity): the driver's thread hands them
// one batch of tasks at a time and takes tasks itself in finish().
class Workers {
 public:
  using Task = std::function<void(estimate::EmWorkspace&, int)>;

  explicit Workers(int threads) : workspaces_(static_cast<std::size_t>(std::max(threads, 1))) {
    failures_.resize(workspaces_.size());
    for (std::size_t w = 1; w < workspaces_.size(); ++w) {
      threads_.emplace_back([this, w] { serve(w); });
    }
  }

  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  ~Workers() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    threads_.clear();  // joins
  }

  // Tasks 0 to task_count - 1 begin on the workers.
  void start(Task task, int task_count) {
    {
      const std::lock_guard lock(mutex_);
      task_ = std::move(task);
      task_count_ = task_count;
      next_task_ = 0;
      busy_ = static_cast<int>(threads_.size());
      ++generation_;
    }
    wake_.notify_all();
  }

  // Takes the remaining tasks on the calling thread, waits until every
  // worker is done with them and raises a failure of any of them here.
  void finish() {
    run_tasks(0);
    {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [this] { return busy_ == 0; });
    }
    for (std::exception_ptr& failure : failures_) {
      if (failure) {
        std::rethrow_exception(std::exchange(failure, nullptr));
      }
    }
  }

 private:
  void serve(std::size_t w) {
    int seen = 0;
    while (true) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) {
          return;
        }
        seen = generation_;
      }
      run_tasks(w);
      {
        const std::lock_guard lock(mutex_);
        if (--busy_ == 0) {
          done_.notify_one();
        }
      }
    }
  }

  void run_tasks(std::size_t w) {
    try {
      for (int task = next_task_++; task < task_count_; task = next_task_++) {
        task_(workspaces_[w], task);
      }
    } catch (...) {
      // Carried to the driver's thread and raised there in finish().
      failures_[w] = std::current_exception();
    }
  }

  std::vector<estimate::EmWorkspace> workspaces_;  // [worker]; 0: the driver's thread
  std::vector<std::exception_ptr> failures_;       // [worker]
  std::mutex mutex_;
  std::condition_variable wake_;  // a new batch, or the end
  std::condition_variable done_;  // the last worker is done with a batch
  int generation_ = 0;            // batches handed out
  bool stopping_ = false;
  int busy_ = 0;  // workers not yet done with the batch
  Task task_;
  int task_count_ = 0;
  std::atomic<int> next_task_{0};
  std::vector<std::jthread> threads_;  // last: joined before the members they use go
};

}  // namespace driver
