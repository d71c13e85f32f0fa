#include "standin/engine/platform_queue.h"

#include "standin/engine/module.h"

namespace standin {
namespace {

constexpr UINT kWakeMessage = WM_APP + 1;

}  // namespace

PlatformQueue::~PlatformQueue() { Stop(); }

bool PlatformQueue::Attach() {
  if (window_ != nullptr) return true;
  const wchar_t* class_name =
      EnsureWindowClass(L"RiveloStandinPlatformQueue", &PlatformQueue::WindowProc, nullptr);
  window_ = CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            ThisModule(), nullptr);
  if (window_ == nullptr) return false;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard<std::mutex> lock(mutex_);
  if (!tasks_.empty() && !wake_pending_) {
    wake_pending_ = true;
    PostMessageW(window_, kWakeMessage, 0, 0);
  }
  return true;
}

bool PlatformQueue::Post(Task task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return false;
  tasks_.push_back(std::move(task));
  if (window_ != nullptr && !wake_pending_) {
    wake_pending_ = true;
    PostMessageW(window_, kWakeMessage, 0, 0);
  }
  return true;
}

size_t PlatformQueue::Stop() {
  std::deque<Task> dropped;
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    dropped.swap(tasks_);
    window = window_;
    window_ = nullptr;
  }
  for (const auto& entry : timers_) {
    if (window != nullptr) KillTimer(window, entry.first);
  }
  timers_.clear();
  if (window != nullptr) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  return dropped.size();
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

// Runs only the tasks present at wake-up; later ones get their own wake, so a
// steady stream of sends from workers cannot starve the window message loop.
void PlatformQueue::RunQueued() {
  size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_pending_ = false;
    count = tasks_.size();
  }
  const std::weak_ptr<int> alive = alive_;
  for (size_t i = 0; i < count; ++i) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    if (alive.expired()) return;
  }
}

void PlatformQueue::RunTimer(UINT_PTR id) {
  auto found = timers_.find(id);
  if (found == timers_.end()) {
    KillTimer(window_, id);
    return;
  }
  Task task = found->second.task;
  if (!found->second.repeat) StopTimer(id);
  task();
}

LRESULT CALLBACK PlatformQueue::WindowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* queue = reinterpret_cast<PlatformQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (queue != nullptr) {
    switch (message) {
      case kWakeMessage:
        queue->RunQueued();
        return 0;
      case WM_TIMER:
        queue->RunTimer(static_cast<UINT_PTR>(wparam));
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace standin
