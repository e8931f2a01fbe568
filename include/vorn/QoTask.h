// The task scheduler shared by the host and the modules. One scheduler lives
// in libvorn.so; the host adds a task before sending a command, the module
// finds it by id, reads its status between units of work and notifies the
// scheduler when the command is done.
#ifndef VORN_QOTASK_H_
#define VORN_QOTASK_H_

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

enum QoTaskStatus1 : int {
  kQoTaskIdle = 0,
  kQoTaskFinished = 1,
  kQoTaskRunning = 2,
  kQoTaskStopRequested = 5,
  kQoTaskFailed = 6,
};

class QoTask {
 public:
  using NotifyHandler = std::function<void(const std::string& taskId, int status)>;

  explicit QoTask(std::string id, NotifyHandler handler = nullptr);

  const std::string& Id() const { return id_; }
  int GetStatus() const { return status_.load(std::memory_order_acquire); }
  void SetStatus(int status) { status_.store(status, std::memory_order_release); }
  // Asks the command working for this task to stop; safe from any thread.
  void RequestStop() { SetStatus(kQoTaskStopRequested); }

  // Reports the end of a command's work: records the status and tells the
  // handler the host gave when it added the task.
  static void NotifySchedular(const std::shared_ptr<QoTask>& task, QoTaskStatus1 status);

 private:
  std::string id_;
  std::atomic<int> status_;
  NotifyHandler handler_;
};

class QoTaskSchedular {
 public:
  static QoTaskSchedular& Get();

  // Registers a running task; an existing task with the same id is replaced.
  std::shared_ptr<QoTask> AddTask(const std::string& id, QoTask::NotifyHandler handler = nullptr);
  // The task with that id, or an empty pointer.
  std::shared_ptr<QoTask> FindTask(const std::string& id);
  void RemoveTask(const std::string& id);

 private:
  QoTaskSchedular() = default;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<QoTask>> tasks_;
};

#endif  // VORN_QOTASK_H_
