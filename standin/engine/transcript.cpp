#include "standin/engine/transcript.h"

#include "standin/engine/text.h"

namespace standin {

Transcript::Transcript(const std::string& utf8_path)
    : start_(std::chrono::steady_clock::now()), platform_thread_(GetCurrentThreadId()) {
  if (utf8_path.empty()) return;
  // Shared reading and deleting: tests read the file while rivelo runs.
  file_ = CreateFileW(WideFromUtf8(utf8_path).c_str(), GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Transcript::~Transcript() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

double Transcript::MillisecondsSinceStart() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

void Transcript::Record(const char* type, const JsonLine& fields) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  const std::string rest = fields.Finish();
  // The time is taken under the lock: the file's order is the order of time.
  std::lock_guard<std::mutex> lock(write_mutex_);
  JsonLine head;
  head.Add("type", type)
      .AddMilliseconds("t", MillisecondsSinceStart())
      .Add("thread", static_cast<int64_t>(GetCurrentThreadId()))
      .Add("platform", OnPlatformThread());
  std::string line = head.Finish();
  if (rest.size() > 2) {
    line.pop_back();
    line += ',' + rest.substr(1);
  }
  line += '\n';
  DWORD written = 0;
  WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace standin
