// Shared by discovery's tests: a sink that records host events from any
// number of threads, capture of the console, and a count-down latch.
#ifndef RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
#define RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <variant>
#include <vector>

#include "discovery/host_probe.h"

namespace discovery_test {

using Clock = std::chrono::steady_clock;

struct HostEvent {
  std::string ip;
  bool success = false;
  Clock::time_point at;
};

// Keeps the host events. The discovery stream carries nothing else: an event
// that is not a map of exactly {"ip": string, "success": bool} throws, and so
// does Error.
class RecordingSink : public HostEventSink {
 public:
  struct Record {
    std::vector<HostEvent> events;
    int ends = 0;
    Clock::time_point end_time;
  };

  Record record() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
  }

  bool WaitForEvents(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return record_.events.size() >= count; });
  }

  void Success(const flutter::EncodableValue* event) override {
    if (event == nullptr) throw std::logic_error("an event without a value");
    const auto& map = std::get<flutter::EncodableMap>(*event);
    HostEvent parsed{std::get<std::string>(map.at(flutter::EncodableValue("ip"))),
                     std::get<bool>(map.at(flutter::EncodableValue("success"))), Clock::now()};
    if (map.size() != 2) throw std::logic_error("an event with more than ip and success");
    std::lock_guard<std::mutex> lock(mutex_);
    record_.events.push_back(parsed);
    changed_.notify_all();
  }

  void Error(const std::string& code, const std::string&, const flutter::EncodableValue*) override {
    throw std::logic_error("an error event: " + code);
  }

  void EndOfStream() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++record_.ends;
    record_.end_time = Clock::now();
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Record record_;
};

// Redirects std::cout and std::cerr for its lifetime; any thread may write.
// Create it before the code under test starts threads and destroy it after
// they have ended.
class ConsoleCapture {
 public:
  ConsoleCapture() : old_out_(std::cout.rdbuf(&out_)), old_err_(std::cerr.rdbuf(&err_)) {}
  ~ConsoleCapture() {
    std::cout.rdbuf(old_out_);
    std::cerr.rdbuf(old_err_);
  }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string out() const { return out_.text(); }
  std::string err() const { return err_.text(); }

 private:
  class Buffer : public std::streambuf {
   public:
    std::string text() const {
      std::lock_guard<std::mutex> lock(mutex_);
      return text_;
    }

   protected:
    int_type overflow(int_type c) override {
      const char ch = traits_type::to_char_type(c);
      if (!traits_type::eq_int_type(c, traits_type::eof())) xsputn(&ch, 1);
      return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
      std::lock_guard<std::mutex> lock(mutex_);
      text_.append(text, static_cast<size_t>(count));
      return count;
    }

   private:
    mutable std::mutex mutex_;
    std::string text_;
  };

  Buffer out_;
  Buffer err_;
  std::streambuf* old_out_;
  std::streambuf* old_err_;
};

class Latch {
 public:
  explicit Latch(int count) : count_(count) {}
  void CountDown() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--count_ == 0) zero_.notify_all();
  }
  // False when the count did not reach zero in time.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return zero_.wait_for(lock, timeout, [&] { return count_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable zero_;
  int count_;
};

}  // namespace discovery_test

#endif  // RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
