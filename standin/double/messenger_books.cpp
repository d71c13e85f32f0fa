#include "standin/double/messenger_books.h"

namespace standin {

MessengerBooks::~MessengerBooks() {
  while (HeldByThisThread()) Unlock();
}

void MessengerBooks::AddRef() {
  std::lock_guard<std::mutex> lock(count_mutex_);
  ++references_;
}

MessengerBooks::Release MessengerBooks::ReleaseReference() {
  std::lock_guard<std::mutex> lock(count_mutex_);
  if (references_ == (engine_holds_reference_ ? 1 : 0)) return Release::kRefused;
  return Drop();
}

MessengerBooks::Release MessengerBooks::ReleaseEngineReference() {
  std::lock_guard<std::mutex> lock(count_mutex_);
  if (!engine_holds_reference_) return Release::kRefused;
  engine_holds_reference_ = false;
  return Drop();
}

MessengerBooks::Release MessengerBooks::Drop() {
  return --references_ == 0 ? Release::kLast : Release::kKept;
}

int64_t MessengerBooks::outstanding_references() const {
  std::lock_guard<std::mutex> lock(count_mutex_);
  return references_ - (engine_holds_reference_ ? 1 : 0);
}

void MessengerBooks::Lock() {
  mutex_.lock();
  holder_ = std::this_thread::get_id();
  ++depth_;
}

bool MessengerBooks::Unlock() {
  if (!HeldByThisThread()) return false;
  if (--depth_ == 0) holder_ = std::thread::id();
  mutex_.unlock();
  return true;
}

bool MessengerBooks::HeldByThisThread() const {
  return holder_.load() == std::this_thread::get_id();
}

bool MessengerBooks::held() const { return holder_.load() != std::thread::id(); }

void MessengerBooks::Detach() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  attached_ = false;
}

}  // namespace standin
