#include "standin/books/response_ledger.h"

namespace standin {

const FlutterDesktopMessageResponseHandle* ResponseLedger::Handle(uint64_t id) {
  return reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(static_cast<uintptr_t>(id));
}

uint64_t ResponseLedger::Id(const FlutterDesktopMessageResponseHandle* handle) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

const char* ResponseLedger::Reason(Answer answer) {
  return answer == Answer::kConsumed ? "consumed" : "unknown";
}

uint64_t ResponseLedger::Issue(int64_t seq, const std::string& channel) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t id = next_id_++;
  owed_[id] = Owed{id, seq, channel};
  return id;
}

ResponseLedger::Answer ResponseLedger::Consume(uint64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (owed_.erase(id) == 1) return Answer::kAccepted;
  return id != 0 && id < next_id_ ? Answer::kConsumed : Answer::kUnknown;
}

std::vector<ResponseLedger::Owed> ResponseLedger::Unanswered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Owed> unanswered;
  for (const auto& entry : owed_) unanswered.push_back(entry.second);
  return unanswered;
}

}  // namespace standin
