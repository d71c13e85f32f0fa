// The JSON Lines record of one engine's life (schema in transcript.md).
//
// Shared by the engine and its messenger (std::shared_ptr), so that calls
// reaching a messenger after its engine is gone can still be recorded. Safe
// from any thread: each line is written with one WriteFile under a mutex,
// which also covers taking its time, so lines never interleave, times only
// grow from line to line, and a reader sees each line as soon as it happened.
// Without a path nothing is written.
#ifndef RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_
#define RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "standin/engine/json_line.h"

namespace standin {

class Transcript {
 public:
  // Opens (truncating) the file at the UTF-8 path; an empty path or a file
  // that cannot be created leaves the transcript silent.
  explicit Transcript(const std::string& utf8_path);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Writes {"type", "t", "thread", "platform", fields...} as one line.
  void Record(const char* type, const JsonLine& fields = JsonLine());

  // The thread that counts as the platform thread from now on.
  void SetPlatformThread(DWORD thread_id) { platform_thread_ = thread_id; }
  bool OnPlatformThread() const { return GetCurrentThreadId() == platform_thread_; }

  double MillisecondsSinceStart() const;
  bool is_open() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  const std::chrono::steady_clock::time_point start_;
  std::atomic<DWORD> platform_thread_;
  std::mutex write_mutex_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_
