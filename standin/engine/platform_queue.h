// Runs tasks on the platform thread: the thread that calls Attach.
//
// A hidden message-only window on that thread is woken by a posted message
// and runs the queued tasks in the order they were posted (FIFO across all
// posting threads). Post is safe from any thread, also before Attach (tasks
// then wait). Attach, Stop, the timers and the destructor belong to the
// platform thread. Owned by the engine; tasks posted after Stop are dropped.
#ifndef RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_
#define RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace standin {

class PlatformQueue {
 public:
  using Task = std::function<void()>;

  PlatformQueue() = default;
  ~PlatformQueue();
  PlatformQueue(const PlatformQueue&) = delete;
  PlatformQueue& operator=(const PlatformQueue&) = delete;

  // Creates the hidden window on the calling thread. False if it cannot.
  bool Attach();
  bool attached() const { return window_ != nullptr; }

  // Safe from any thread. False (and the task dropped) after Stop.
  bool Post(Task task);

  // Destroys the window and drops what is still queued; returns how many
  // tasks were dropped. Safe to call more than once.
  size_t Stop();

  // Runs the task once (or every period when repeat) on the platform thread;
  // a timer of the same id is replaced.
  void StartTimer(UINT_PTR id, UINT milliseconds, Task task, bool repeat);
  void StopTimer(UINT_PTR id);

 private:
  struct Timer {
    Task task;
    bool repeat;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void RunQueued();
  void RunTimer(UINT_PTR id);

  std::mutex mutex_;
  std::deque<Task> tasks_;
  bool wake_pending_ = false;
  bool stopped_ = false;
  HWND window_ = nullptr;
  std::map<UINT_PTR, Timer> timers_;
  // Expires when this object goes, so a task that destroys the queue (through
  // the view controller) does not make the running loop touch freed memory.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_
