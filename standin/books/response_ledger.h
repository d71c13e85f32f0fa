// The responses the library owes the Dart side for the messages it delivered
// to native code. Each delivery gets a response handle that is a number from
// 1, never an address, so a consumed handle cannot be mistaken for a later one
// that happens to reuse its memory; each handle is answered at most once.
// Owned by one engine; safe from any thread.
#ifndef RIVELO_STANDIN_BOOKS_RESPONSE_LEDGER_H_
#define RIVELO_STANDIN_BOOKS_RESPONSE_LEDGER_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/flutter_windows.h"

namespace standin {

class ResponseLedger {
 public:
  enum class Answer { kAccepted, kConsumed, kUnknown };
  struct Owed {
    uint64_t id;
    int64_t seq;
    std::string channel;
  };

  static const FlutterDesktopMessageResponseHandle* Handle(uint64_t id);
  static uint64_t Id(const FlutterDesktopMessageResponseHandle* handle);
  // "consumed" or "unknown" for a refused answer.
  static const char* Reason(Answer answer);

  // A new handle for the message `seq` on `channel`.
  uint64_t Issue(int64_t seq, const std::string& channel);
  // kAccepted once per issued handle; the owed entry is gone afterwards.
  Answer Consume(uint64_t id);
  std::vector<Owed> Unanswered() const;

 private:
  mutable std::mutex mutex_;
  std::map<uint64_t, Owed> owed_;
  uint64_t next_id_ = 1;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_BOOKS_RESPONSE_LEDGER_H_
