// Shared by discovery's tests: a sink that records host events from any
// number of threads, console capture that tolerates concurrent writers, a
// count-down latch, and the usual simulated LAN scripted into the fake
// network platform.
#ifndef RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
#define RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

#include "discovery/host_probe.h"
#include "testing/fake_network_platform.h"

namespace discovery_test {

using Clock = std::chrono::steady_clock;

struct HostEvent {
  std::string ip;
  bool success = false;
  Clock::time_point at;
};

// What a RecordingSink saw. Shared so that it outlives the sink, which the
// code under test destroys.
class EventRecord {
 public:
  std::vector<HostEvent> events() const;
  size_t event_count() const;
  int ends() const;
  Clock::time_point end_time() const;
  // Events that were not a map of exactly {"ip": string, "success": bool},
  // Error calls, and events after the end.
  std::vector<std::string> problems() const;
  bool WaitForEvents(size_t count, std::chrono::milliseconds timeout) const;

  // The first event for ip throws from Success instead of being recorded.
  void ThrowOnFirstEventOf(const std::string& ip);

  void Event(const flutter::EncodableValue* event);
  void Error(const std::string& code);
  void End();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<HostEvent> events_;
  std::vector<std::string> problems_;
  std::vector<std::string> throw_once_;
  int ends_ = 0;
  Clock::time_point end_time_;
};

class RecordingSink : public HostEventSink {
 public:
  explicit RecordingSink(std::shared_ptr<EventRecord> record) : record_(std::move(record)) {}
  void Success(const flutter::EncodableValue* event) override { record_->Event(event); }
  void Error(const std::string& code, const std::string&,
             const flutter::EncodableValue*) override {
    record_->Error(code);
  }
  void EndOfStream() override { record_->End(); }

 private:
  std::shared_ptr<EventRecord> record_;
};

// A stream buffer that many threads may write at once; remembers how much of
// the text was followed by a flush.
class CaptureBuffer : public std::streambuf {
 public:
  std::string text() const;
  // Text written after the last flush.
  std::string unflushed() const;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  size_t flushed_ = 0;
};

// Redirects std::cout and std::cerr for its lifetime. Create it before the
// code under test starts threads and destroy it after they have ended.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string out() const { return out_.text(); }
  std::string err() const { return err_.text(); }
  std::string unflushed() const { return out_.unflushed() + err_.unflushed(); }

 private:
  CaptureBuffer out_;
  CaptureBuffer err_;
  std::streambuf* old_out_;
  std::streambuf* old_err_;
};

class Latch {
 public:
  explicit Latch(int count) : count_(count) {}
  void CountDown();
  // False when the count did not reach zero in time.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable zero_;
  int count_;
};

// Resets the fake and scripts a machine at 10.77.0.23/24 whose host name
// resolves to that address; every echo is silent unless a test says otherwise.
fake_network::FakeNetwork& ResetToLan();

constexpr char kLocalIp[] = "10.77.0.23";
constexpr char kLanPrefix[] = "10.77.0.";

// The host number of an address under kLanPrefix, or -1.
int HostNumberOf(const std::string& ip);

}  // namespace discovery_test

#endif  // RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
