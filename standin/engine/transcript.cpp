#include "standin/engine/transcript.h"

#include <cmath>

#include "standin/text/text.h"

namespace standin {

Transcript::Transcript(const std::string& utf8_path) : start_(std::chrono::steady_clock::now()) {
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

void Transcript::Record(const char* type, const Json& fields) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  // The time is taken under the lock: the file's order is the order of time.
  std::lock_guard<std::mutex> lock(write_mutex_);
  Json line = {{"type", type}, {"t", std::round(MillisecondsSinceStart() * 1000) / 1000}};
  line.update(fields);
  // Text that is not UTF-8 (a channel name, an argument) shows U+FFFD.
  const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
  DWORD written = 0;
  WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

}  // namespace standin
