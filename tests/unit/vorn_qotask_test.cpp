// The process-wide task scheduler.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "vorn/QoTask.h"

namespace {

TEST(VornQoTask, TasksAreReplacedByIdAndOutliveTheirRemoval) {
  auto& scheduler = QoTaskSchedular::Get();
  std::vector<int> calls;
  auto first = scheduler.AddTask("qotask-replace");
  auto second = scheduler.AddTask("qotask-replace",
                                  [&calls](const std::string&, int s) { calls.push_back(s); });
  EXPECT_EQ(scheduler.FindTask("qotask-replace"), second);
  QoTask::NotifySchedular(second, kQoTaskFailed);
  QoTask::NotifySchedular(nullptr, kQoTaskFinished);  // ignored
  EXPECT_EQ(calls, std::vector<int>{kQoTaskFailed});
  EXPECT_EQ(second->GetStatus(), kQoTaskFailed);
  EXPECT_EQ(first->GetStatus(), kQoTaskRunning);
  scheduler.RemoveTask("qotask-replace");
  scheduler.RemoveTask("qotask-replace");  // removing twice is harmless
  EXPECT_FALSE(scheduler.FindTask("qotask-replace"));
  EXPECT_EQ(second->GetStatus(), kQoTaskFailed);  // the caller's pointer stays valid

  // A handler that throws does not unwind into the notifying code.
  auto throwing = scheduler.AddTask(
      "qotask-throw", [](const std::string&, int) { throw std::runtime_error("handler failed"); });
  EXPECT_NO_THROW(QoTask::NotifySchedular(throwing, kQoTaskFinished));
  EXPECT_EQ(throwing->GetStatus(), kQoTaskFinished);
  scheduler.RemoveTask("qotask-throw");
}

TEST(VornQoTask, ConcurrentAddFindRemove) {
  auto& scheduler = QoTaskSchedular::Get();
  std::vector<std::thread> threads;
  std::atomic<int> misses{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &scheduler, &misses] {
      for (int i = 0; i < 500; ++i) {
        const std::string id = "qotask-many-" + std::to_string(t) + "-" + std::to_string(i);
        auto added = scheduler.AddTask(id);
        if (scheduler.FindTask(id) != added) ++misses;
        scheduler.RemoveTask(id);
        if (scheduler.FindTask(id)) ++misses;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(misses.load(), 0);
}

}  // namespace
