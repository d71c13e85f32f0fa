// Runs tasks on the platform thread: the thread that calls Attach.
//
// Each task is one message posted to a hidden message-only window on that
// thread, so the thread's own message queue orders them: FIFO across all
// posting threads, run by the message loop between window messages. Post is
// safe from any thread; Attach, Stop, the timers and the destructor belong to
// the platform thread. Owned by the engine; Stop drops what is still queued,
// and tasks posted before Attach or after Stop are refused.
#ifndef RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_
#define RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_

#include <windows.h>

#include <functional>
#include <map>
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

  // Safe from any thread. False, and the task dropped, before Attach or
  // after Stop.
  bool Post(Task task);

  // Destroys the window and drops what is still queued. Safe to call more
  // than once.
  void Stop();

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
  void RunTimer(UINT_PTR id);

  // Orders Post against Stop: nothing is posted once Stop has drained.
  std::mutex mutex_;
  HWND window_ = nullptr;
  std::map<UINT_PTR, Timer> timers_;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_PLATFORM_QUEUE_H_
