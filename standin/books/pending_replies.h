// The sends with reply the library accepted and has not answered yet. The
// library promises exactly one call of each reply: a reply is taken out
// before it is called, and whatever is still pending when the engine goes is
// taken out at once and answered with the empty reply.
// Owned by one engine; safe from any thread. Replies run outside its lock.
#ifndef RIVELO_STANDIN_BOOKS_PENDING_REPLIES_H_
#define RIVELO_STANDIN_BOOKS_PENDING_REPLIES_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/flutter_windows.h"

namespace standin {

class PendingReplies {
 public:
  struct Reply {
    int64_t seq;
    std::string channel;
    FlutterDesktopBinaryReply function;
    void* user_data;

    void Run(const uint8_t* data, size_t size) const { function(data, size, user_data); }
  };

  void Add(Reply reply);
  std::optional<Reply> Take(int64_t seq);
  // The oldest pending on `channel`.
  std::optional<Reply> TakeOldest(const std::string& channel);
  std::vector<Reply> TakeAll();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::map<int64_t, Reply> pending_;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_BOOKS_PENDING_REPLIES_H_
