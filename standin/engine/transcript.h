// The JSON Lines record of one engine's life; transcript.md describes it.
//
// Owned by the engine's StandinEngine, which lives as long as the engine
// double keeps the engine, so calls after teardown are still recorded. Safe
// from any thread: each line is written with one WriteFile under a mutex,
// which also covers taking its time, so lines never interleave, times only
// grow from line to line, and a reader sees each line as soon as it happened.
// Without a path nothing is written.
#ifndef RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_
#define RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace standin {

// Fields keep the order they were given in.
using Json = nlohmann::ordered_json;

class Transcript {
 public:
  // Opens (truncating) the file at the UTF-8 path, shared for reading; an
  // empty path or a file that cannot be created leaves the transcript silent.
  explicit Transcript(const std::string& utf8_path);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Writes {"type", "t", fields...} as one line.
  void Record(const char* type, const Json& fields = Json::object());

  double MillisecondsSinceStart() const;

 private:
  const std::chrono::steady_clock::time_point start_;
  std::mutex write_mutex_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// Bytes as lowercase hexadecimal, two digits each.
std::string Hex(const uint8_t* bytes, size_t size);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_TRANSCRIPT_H_
