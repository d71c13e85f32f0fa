#include "standin/double/messenger_books.h"

namespace standin {

MessengerBooks::~MessengerBooks() {
  while (HeldByThisThread()) Unlock();
}

void MessengerBooks::AddRef() {
  std::lock_guard<std::mutex> lock(count_mutex_);
  ++references_;
}

bool MessengerBooks::ReleaseReference() {
  std::lock_guard<std::mutex> lock(count_mutex_);
  if (references_ == 0) return false;
  --references_;
  return true;
}

int64_t MessengerBooks::outstanding_references() const {
  std::lock_guard<std::mutex> lock(count_mutex_);
  return references_;
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
