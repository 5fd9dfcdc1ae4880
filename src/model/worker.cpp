#include "model/worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

namespace mertovan {

namespace {

// How long the standing thread looks out for a further task when asked to.
// It covers what the caller does between the two tasks: from the end of a
// large song's analysis to the start of its conversion took 0.2 to 0.75 ms.
constexpr auto kLookOut = std::chrono::milliseconds(2);

// A hint to the processor that this thread is waiting in a loop.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#else
  std::this_thread::yield();
#endif
}

// The standing thread: started with the first task, it lives as long as the
// program, and runs one task at a time.
class StandingThread {
 public:
  // Hands `task` over and returns the ticket to wait for; 0, leaving the task
  // as it is, when the thread is busy or cannot be had.
  uint64_t Post(std::function<void()>& task) {
    std::lock_guard lock(mutex_);
    if (busy_ || !Running()) return 0;
    busy_ = true;
    task_ = std::move(task);
    ++posted_;
    postedSeen_.store(posted_, std::memory_order_release);
    wake_.notify_one();
    return posted_;
  }
  void Wait(uint64_t ticket) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_ >= ticket; });
  }
  void LookOut() { lookOut_.store(true, std::memory_order_relaxed); }

 private:
  // Starts the thread the first time; false when it cannot be had. Called
  // with the mutex held.
  bool Running() {
    if (!tried_) {
      tried_ = true;
      try {
        std::thread(&StandingThread::Loop, this).detach();  // it ends with the program
        alive_ = true;
      } catch (const std::system_error&) {
        alive_ = false;
      }
    }
    return alive_;
  }
  void Loop() {
    uint64_t taken = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return posted_ != taken; });
        taken = posted_;
        task = std::move(task_);
      }
      task();
      {
        std::lock_guard lock(mutex_);
        busy_ = false;
        finished_ = taken;
      }
      done_.notify_all();
      if (lookOut_.exchange(false, std::memory_order_relaxed)) {
        // Kept awake a little for the next task: only polling keeps the
        // processor from going to sleep.
        const auto until = std::chrono::steady_clock::now() + kLookOut;
        while (postedSeen_.load(std::memory_order_acquire) == taken && std::chrono::steady_clock::now() < until) {
          for (int i = 0; i < 64; ++i) SpinPause();
        }
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::function<void()> task_;
  bool tried_ = false;
  bool alive_ = false;
  bool busy_ = false;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  std::atomic<uint64_t> postedSeen_{0};  // posted_, for polling without the mutex
  std::atomic<bool> lookOut_{false};
};

StandingThread& Standing() {
  // Never destroyed: its thread may still be waiting for work when the
  // program ends.
  static StandingThread* const standing = new StandingThread;
  return *standing;
}

}  // namespace

bool BackgroundTask::Start(std::function<void()> task) {
  Wait();
  ticket_ = Standing().Post(task);
  if (ticket_ == 0) {
    try {
      own_ = std::thread(std::move(task));
    } catch (const std::system_error&) {
      return false;
    }
  }
  started_ = true;
  return true;
}

void BackgroundTask::Wait() {
  if (!started_) return;
  started_ = false;
  if (ticket_ != 0) {
    Standing().Wait(ticket_);
  } else {
    own_.join();
  }
}

void LookOutForNextTask() { Standing().LookOut(); }

}  // namespace mertovan
