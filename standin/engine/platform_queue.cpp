#include "standin/engine/platform_queue.h"

#include <memory>
#include <utility>

#include "standin/engine/module.h"

namespace standin {
namespace {

// lparam: a Task the window procedure owns from then on.
constexpr UINT kTaskMessage = WM_APP + 1;

}  // namespace

PlatformQueue::~PlatformQueue() { Stop(); }

bool PlatformQueue::Attach() {
  const wchar_t* class_name =
      EnsureWindowClass(L"RiveloStandinPlatformQueue", &PlatformQueue::WindowProc);
  HWND window = CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ThisModule(), nullptr);
  if (window == nullptr) return false;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = window;
  return true;
}

bool PlatformQueue::Post(Task task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (window_ == nullptr) return false;
  auto posted = std::make_unique<Task>(std::move(task));
  if (!PostMessageW(window_, kTaskMessage, 0, reinterpret_cast<LPARAM>(posted.get()))) {
    return false;
  }
  posted.release();
  return true;
}

// The system would discard the window's posted messages with the window, and
// the tasks with them: they are taken out first and freed here.
void PlatformQueue::Stop() {
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window = std::exchange(window_, nullptr);
  }
  if (window == nullptr) return;
  for (const auto& entry : timers_) KillTimer(window, entry.first);
  timers_.clear();
  MSG message{};
  while (PeekMessageW(&message, window, kTaskMessage, kTaskMessage, PM_REMOVE)) {
    delete reinterpret_cast<Task*>(message.lParam);
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

void PlatformQueue::StartTimer(UINT_PTR id, UINT milliseconds, Task task, bool repeat) {
  if (window_ == nullptr) return;
  timers_[id] = Timer{std::move(task), repeat};
  SetTimer(window_, id, milliseconds, nullptr);
}

void PlatformQueue::StopTimer(UINT_PTR id) {
  if (window_ != nullptr) KillTimer(window_, id);
  timers_.erase(id);
}

void PlatformQueue::RunTimer(UINT_PTR id) {
  auto found = timers_.find(id);
  if (found == timers_.end()) return;
  Task task = found->second.task;
  if (!found->second.repeat) StopTimer(id);
  task();
}

// A task may destroy the queue (through the view controller): nothing here
// touches it after the task ran.
LRESULT CALLBACK PlatformQueue::WindowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* queue = reinterpret_cast<PlatformQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case kTaskMessage: {
      const std::unique_ptr<Task> task(reinterpret_cast<Task*>(lparam));
      (*task)();
      return 0;
    }
    case WM_TIMER:
      if (queue != nullptr) queue->RunTimer(static_cast<UINT_PTR>(wparam));
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace standin
