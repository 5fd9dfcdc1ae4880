// A thread beside the caller's, for work that runs alongside it: the analysis
// while a file is read, half of a song's conversion.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace mertovan {

// One task on another thread. It goes to the program's standing thread when
// that is free, else to a thread of its own. The standing thread lets one
// stage hand work straight on to the next: a thread that has just finished a
// task is awake, while waking a sleeping one can take milliseconds where the
// processors are virtual, longer than many tasks of the program last.
class BackgroundTask {
 public:
  BackgroundTask() = default;
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;
  // Waits for a task that is still running.
  ~BackgroundTask() { Wait(); }
  // Starts `task`, which must not throw. Returns false, having run nothing,
  // when no thread can be had.
  bool Start(std::function<void()> task);
  // Waits for the task to end; returns at once when none is running.
  void Wait();
  bool Started() const { return started_; }

 private:
  bool started_ = false;
  uint64_t ticket_ = 0;  // on the standing thread; 0 on a thread of its own
  std::thread own_;
};

// Asks the standing thread to look out for a further task for a few
// milliseconds once its next task ends, instead of going to sleep at once:
// for a caller that will hand it more work right after that one.
void LookOutForNextTask();

}  // namespace mertovan
