#include "vorn/QoTask.h"

#include <utility>

QoTask::QoTask(std::string id, NotifyHandler handler)
    : id_(std::move(id)), status_(kQoTaskIdle), handler_(std::move(handler)) {}

// The handler runs on the notifying thread. An exception from it is dropped:
// it must not unwind into the module that reported the end of its work.
void QoTask::NotifySchedular(const std::shared_ptr<QoTask>& task, QoTaskStatus1 status) {
  if (!task) return;
  task->SetStatus(status);
  if (!task->handler_) return;
  try {
    task->handler_(task->id_, status);
  } catch (...) {
  }
}

QoTaskSchedular& QoTaskSchedular::Get() {
  static QoTaskSchedular scheduler;
  return scheduler;
}

std::shared_ptr<QoTask> QoTaskSchedular::AddTask(const std::string& id,
                                                 QoTask::NotifyHandler handler) {
  auto task = std::make_shared<QoTask>(id, std::move(handler));
  task->SetStatus(kQoTaskRunning);
  std::lock_guard<std::mutex> lock(mutex_);
  tasks_[id] = task;
  return task;
}

std::shared_ptr<QoTask> QoTaskSchedular::FindTask(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tasks_.find(id);
  return found == tasks_.end() ? nullptr : found->second;
}

void QoTaskSchedular::RemoveTask(const std::string& id) {
  std::shared_ptr<QoTask> removed;  // released after the lock, outside the map
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = tasks_.find(id);
  if (found == tasks_.end()) return;
  removed = std::move(found->second);
  tasks_.erase(found);
}
