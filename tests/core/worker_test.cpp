#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "model/worker.h"

namespace mertovan {
namespace {

// A task started while another runs does not wait for it: the first can only
// end once the second has run.
TEST(BackgroundTask, RunsBesideABusyOneAndWaitsForItsOwn) {
  for (bool lookOut : {false, true}) {
    if (lookOut) LookOutForNextTask();
    std::promise<void> secondRan;
    std::future<void> secondRanFuture = secondRan.get_future();
    std::atomic<bool> firstSawIt{false};
    BackgroundTask first;
    ASSERT_TRUE(first.Start([&] {
      firstSawIt = secondRanFuture.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    }));
    BackgroundTask second;
    ASSERT_TRUE(second.Start([&] { secondRan.set_value(); }));
    second.Wait();
    first.Wait();
    EXPECT_TRUE(firstSawIt) << "lookOut " << lookOut;
  }
}

// Tasks one after another, each waited for before the next, and one left to
// the destructor: every one has ended when its wait returns.
TEST(BackgroundTask, EachWaitSeesItsTaskEnded) {
  int count = 0;
  for (int i = 0; i < 200; ++i) {
    BackgroundTask task;
    ASSERT_TRUE(task.Start([&count] { ++count; }));
    task.Wait();
    ASSERT_EQ(count, i + 1);
  }
  {
    BackgroundTask task;
    ASSERT_TRUE(task.Start([&count] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ++count;
    }));
  }
  EXPECT_EQ(count, 201);
}

}  // namespace
}  // namespace mertovan
