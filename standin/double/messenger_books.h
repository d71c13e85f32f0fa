// The books of one messenger handle (FlutterDesktopMessengerRef), kept as the
// library's contract defines them:
// - references: each AddRef owes one Release, and a Release that no AddRef
//   is owed is refused, so a caller can never take away the engine's own;
// - the lock: recursive, and it knows which thread holds it, so a response
//   sent without holding it is seen, and an unlock by a thread that does not
//   hold it is refused instead of undefined;
// - whether the engine behind the handle still exists: Detach waits for the
//   lock, and nothing that checks IfAttached reaches the engine afterwards.
//
// Owned by the double's messenger (engine_double.h). Every member is safe
// from any thread.
#ifndef RIVELO_STANDIN_DOUBLE_MESSENGER_BOOKS_H_
#define RIVELO_STANDIN_DOUBLE_MESSENGER_BOOKS_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace standin {

class MessengerBooks {
 public:
  MessengerBooks() = default;
  // Unlocks what the destroying thread still holds: a caller that never
  // unlocked must not leave a locked mutex to be destroyed.
  ~MessengerBooks();
  MessengerBooks(const MessengerBooks&) = delete;
  MessengerBooks& operator=(const MessengerBooks&) = delete;

  void AddRef();
  // A caller's release; false, and nothing released, when no AddRef is owed one.
  bool ReleaseReference();
  // References taken by AddRef and not yet released.
  int64_t outstanding_references() const;

  void Lock();
  // False, and nothing unlocked, when the calling thread does not hold it.
  bool Unlock();
  bool HeldByThisThread() const;
  bool held() const;

  // Runs `call` holding the lock while the engine exists; false, without
  // running it, once the engine is gone.
  template <typename Call>
  bool IfAttached(Call&& call) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!attached_) return false;
    call();
    return true;
  }
  bool attached() const { return attached_; }
  // The engine is going: waits until no other thread holds the lock.
  void Detach();

 private:
  mutable std::mutex count_mutex_;
  int64_t references_ = 0;  // taken by AddRef

  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> holder_{std::thread::id()};
  int depth_ = 0;  // touched only by the holder
  std::atomic<bool> attached_{true};
};

}  // namespace standin

#endif  // RIVELO_STANDIN_DOUBLE_MESSENGER_BOOKS_H_
