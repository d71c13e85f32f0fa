#include "discovery/discovery_test_support.h"

#include <algorithm>
#include <stdexcept>
#include <variant>

namespace discovery_test {
namespace {

// Empty when the event has exactly the host event's shape.
std::string ShapeProblem(const flutter::EncodableValue* event, HostEvent* parsed) {
  if (event == nullptr) return "event without a value";
  const auto* map = std::get_if<flutter::EncodableMap>(event);
  if (map == nullptr || map->size() != 2) return "event is not a two-entry map";
  const auto ip = map->find(flutter::EncodableValue("ip"));
  const auto success = map->find(flutter::EncodableValue("success"));
  if (ip == map->end() || !std::holds_alternative<std::string>(ip->second)) {
    return "event without a string \"ip\"";
  }
  if (success == map->end() || !std::holds_alternative<bool>(success->second)) {
    return "event without a bool \"success\"";
  }
  parsed->ip = std::get<std::string>(ip->second);
  parsed->success = std::get<bool>(success->second);
  return {};
}

}  // namespace

std::vector<HostEvent> EventRecord::events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

size_t EventRecord::event_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_.size();
}

int EventRecord::ends() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ends_;
}

Clock::time_point EventRecord::end_time() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return end_time_;
}

std::vector<std::string> EventRecord::problems() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return problems_;
}

bool EventRecord::WaitForEvents(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
}

void EventRecord::ThrowOnFirstEventOf(const std::string& ip) {
  std::lock_guard<std::mutex> lock(mutex_);
  throw_once_.push_back(ip);
}

void EventRecord::Event(const flutter::EncodableValue* event) {
  HostEvent parsed;
  parsed.at = Clock::now();
  const std::string problem = ShapeProblem(event, &parsed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!problem.empty()) {
      problems_.push_back(problem);
      return;
    }
    if (ends_ != 0) problems_.push_back("event after the end: " + parsed.ip);
    const auto thrower = std::find(throw_once_.begin(), throw_once_.end(), parsed.ip);
    if (thrower != throw_once_.end()) {
      throw_once_.erase(thrower);
      throw std::runtime_error("sink refused the event of " + parsed.ip);
    }
    events_.push_back(parsed);
  }
  changed_.notify_all();
}

void EventRecord::Error(const std::string& code) {
  std::lock_guard<std::mutex> lock(mutex_);
  problems_.push_back("error event: " + code);
}

void EventRecord::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++ends_;
  end_time_ = Clock::now();
}

std::string CaptureBuffer::text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

std::string CaptureBuffer::unflushed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_.substr(flushed_);
}

CaptureBuffer::int_type CaptureBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  std::lock_guard<std::mutex> lock(mutex_);
  text_.push_back(traits_type::to_char_type(c));
  return c;
}

std::streamsize CaptureBuffer::xsputn(const char* text, std::streamsize count) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.append(text, static_cast<size_t>(count));
  return count;
}

int CaptureBuffer::sync() {
  std::lock_guard<std::mutex> lock(mutex_);
  flushed_ = text_.size();
  return 0;
}

ConsoleCapture::ConsoleCapture()
    : old_out_(std::cout.rdbuf(&out_)), old_err_(std::cerr.rdbuf(&err_)) {}

ConsoleCapture::~ConsoleCapture() {
  std::cout.rdbuf(old_out_);
  std::cerr.rdbuf(old_err_);
}

void Latch::CountDown() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (--count_ == 0) zero_.notify_all();
}

bool Latch::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return zero_.wait_for(lock, timeout, [&] { return count_ <= 0; });
}

fake_network::FakeNetwork& ResetToLan() {
  fake_network::FakeNetwork& net = fake_network::FakeNetwork::Instance();
  net.Reset();
  net.SetHostName("rivelo-host");
  net.SetResolution({kLocalIp});
  net.SetAdapters({{{{kLocalIp, "255.255.255.0"}}}});
  return net;
}

int HostNumberOf(const std::string& ip) {
  const std::string prefix = kLanPrefix;
  if (ip.compare(0, prefix.size(), prefix) != 0) return -1;
  const std::string rest = ip.substr(prefix.size());
  if (rest.empty() || rest.size() > 3 ||
      !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::stoi(rest);
}

}  // namespace discovery_test
