#include "standin/books/pending_replies.h"

#include <utility>

namespace standin {

void PendingReplies::Add(Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t seq = reply.seq;
  pending_.emplace(seq, std::move(reply));
}

std::optional<PendingReplies::Reply> PendingReplies::Take(int64_t seq) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = pending_.find(seq);
  if (found == pending_.end()) return std::nullopt;
  Reply taken = std::move(found->second);
  pending_.erase(found);
  return taken;
}

std::optional<PendingReplies::Reply> PendingReplies::TakeOldest(const std::string& channel) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->second.channel != channel) continue;
    Reply taken = std::move(it->second);
    pending_.erase(it);
    return taken;
  }
  return std::nullopt;
}

std::vector<PendingReplies::Reply> PendingReplies::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Reply> taken;
  for (auto& entry : pending_) taken.push_back(std::move(entry.second));
  pending_.clear();
  return taken;
}

size_t PendingReplies::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

}  // namespace standin
