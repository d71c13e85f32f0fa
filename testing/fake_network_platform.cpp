#include "testing/fake_network_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace fake_network {
namespace {

// What one adapter record takes in the platform's buffer; only the ratio
// between list length and buffer size matters to the code under test.
constexpr uint32_t kAdapterRecordSize = 704;

std::string Dotted(const network_platform::Ipv4Address& address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
         std::to_string(address[2]) + "." + std::to_string(address[3]);
}

bool AllZero(const uint8_t* bytes, size_t size) {
  return std::all_of(bytes, bytes + size, [](uint8_t byte) { return byte == 0; });
}

std::string BufferState(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr) return "none";
  return AllZero(bytes, size) ? "zeroed" : "dirty";
}

uintptr_t HandleId(network_platform::IcmpHandle handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

Echo Reply(uint32_t status) {
  Echo echo;
  echo.replies = true;
  echo.status = status;
  return echo;
}

Echo Silent(std::chrono::milliseconds delay) {
  Echo echo;
  echo.delay = delay;
  return echo;
}

bool ParseDottedDecimal(const std::string& text, network_platform::Ipv4Address* address) {
  network_platform::Ipv4Address parsed{};
  size_t part = 0;
  size_t digits = 0;
  unsigned value = 0;
  for (const char c : text) {
    if (c == '.') {
      if (digits == 0 || part == 3) return false;
      parsed[part++] = static_cast<uint8_t>(value);
      digits = 0;
      value = 0;
    } else if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (++digits > 3 || value > 255) return false;
    } else {
      return false;
    }
  }
  if (digits == 0 || part != 3) return false;
  parsed[3] = static_cast<uint8_t>(value);
  *address = parsed;
  return true;
}

FakeNetwork& FakeNetwork::Instance() {
  static FakeNetwork instance;
  return instance;
}

FakeNetwork::FakeNetwork() { Reset(); }

void FakeNetwork::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  host_name_ = "rivelo-host";
  resolution_.clear();
  adapters_.clear();
  adapters_after_size_query_.clear();
  adapters_change_ = false;
  echoes_.clear();
  default_echo_ = Silent();
  failing_.clear();
  raising_.clear();
  hook_ = nullptr;
  log_.clear();
  startups_ = 0;
  cleanups_ = 0;
  unmatched_cleanups_ = 0;
  sessions_per_thread_.clear();
  open_handles_.clear();
  next_handle_ = 0x1000;
  peak_open_handles_ = 0;
  handles_opened_ = 0;
  icmp_misuses_ = 0;
}

void FakeNetwork::SetHostName(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  host_name_ = name;
}

void FakeNetwork::SetResolution(const std::vector<std::string>& addresses) {
  std::vector<network_platform::Ipv4Address> parsed;
  for (const std::string& text : addresses) {
    network_platform::Ipv4Address address{};
    if (!ParseDottedDecimal(text, &address)) {
      throw std::invalid_argument("fake resolution needs dotted decimal: " + text);
    }
    parsed.push_back(address);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  resolution_ = parsed;
}

void FakeNetwork::SetAdapters(const std::vector<network_platform::Adapter>& adapters) {
  std::lock_guard<std::mutex> lock(mutex_);
  adapters_ = adapters;
}

void FakeNetwork::ChangeAdaptersAfterSizeQuery(
    const std::vector<network_platform::Adapter>& adapters) {
  std::lock_guard<std::mutex> lock(mutex_);
  adapters_after_size_query_ = adapters;
  adapters_change_ = true;
}

void FakeNetwork::SetEcho(const std::string& address, const Echo& echo) {
  std::lock_guard<std::mutex> lock(mutex_);
  echoes_[address] = echo;
}

void FakeNetwork::SetDefaultEcho(const Echo& echo) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_echo_ = echo;
}

void FakeNetwork::Fail(Call call) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_.insert(call);
}

void FakeNetwork::Raise(Call call) {
  std::lock_guard<std::mutex> lock(mutex_);
  raising_.insert(call);
}

void FakeNetwork::SetCallHook(CallHook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<std::string> FakeNetwork::log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

int FakeNetwork::startups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return startups_;
}

int FakeNetwork::cleanups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cleanups_;
}

int FakeNetwork::unmatched_cleanups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unmatched_cleanups_;
}

int FakeNetwork::open_icmp_handles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(open_handles_.size());
}

int FakeNetwork::peak_open_icmp_handles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peak_open_handles_;
}

int FakeNetwork::icmp_handles_opened() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_opened_;
}

int FakeNetwork::icmp_misuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return icmp_misuses_;
}

void FakeNetwork::Append(const std::string& entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(entry);
}

bool FakeNetwork::Enter(Call call, const std::string& subject, const std::string& entry) {
  CallHook hook;
  bool fails = false;
  bool raises = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(entry);
    fails = failing_.count(call) != 0;
    raises = raising_.count(call) != 0;
    hook = hook_;
  }
  if (hook) hook(call, subject);
  if (raises) throw std::runtime_error("scripted platform failure: " + entry);
  return !fails;
}

int FakeNetwork::StartSockets() {
  const bool succeeds = Enter(Call::kStartSockets, "", "StartSockets");
  std::lock_guard<std::mutex> lock(mutex_);
  // Counted even when it fails: the caller pairs every start with a stop.
  ++startups_;
  ++sessions_per_thread_[std::this_thread::get_id()];
  return succeeds ? 0 : 10091;
}

void FakeNetwork::StopSockets() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("StopSockets");
  ++cleanups_;
  int& sessions = sessions_per_thread_[std::this_thread::get_id()];
  if (sessions == 0) {
    ++unmatched_cleanups_;
  } else {
    --sessions;
  }
}

int FakeNetwork::ReadHostName(char* buffer, size_t size) {
  const std::string entry = "ReadHostName(" + std::to_string(size) + ", " +
                            BufferState(reinterpret_cast<const uint8_t*>(buffer), size) + ")";
  if (!Enter(Call::kReadHostName, "", entry)) return -1;
  std::lock_guard<std::mutex> lock(mutex_);
  // Windows refuses a buffer too small for the name and its NUL.
  if (host_name_.size() + 1 > size) return -1;
  std::memcpy(buffer, host_name_.c_str(), host_name_.size() + 1);
  return 0;
}

bool FakeNetwork::ResolveIpv4(const char* name,
                              std::vector<network_platform::Ipv4Address>* addresses) {
  const std::string text = name;
  if (!Enter(Call::kResolveIpv4, text, "ResolveIpv4(" + text + ")")) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  addresses->insert(addresses->end(), resolution_.begin(), resolution_.end());
  return true;
}

bool FakeNetwork::FormatIpv4(const network_platform::Ipv4Address& address, char* buffer,
                             size_t size) {
  const std::string text = Dotted(address);
  if (!Enter(Call::kFormatIpv4, text,
             "FormatIpv4(" + text + ", " + std::to_string(size) + ")")) {
    return false;
  }
  if (text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

int FakeNetwork::ParseIpv4(const char* text, network_platform::Ipv4Address* address) {
  const std::string subject = text;
  if (!Enter(Call::kParseIpv4, subject, "ParseIpv4(" + subject + ")")) return 0;
  return ParseDottedDecimal(subject, address) ? 1 : 0;
}

uint32_t FakeNetwork::QueryAdapterListSize() {
  const bool succeeds = Enter(Call::kQueryAdapterListSize, "", "QueryAdapterListSize");
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t size = static_cast<uint32_t>(adapters_.size()) * kAdapterRecordSize;
  if (adapters_change_) {
    adapters_ = adapters_after_size_query_;
    adapters_change_ = false;
  }
  return succeeds ? size : 0;
}

bool FakeNetwork::ReadAdapterList(uint8_t* buffer, uint32_t size,
                                  std::vector<network_platform::Adapter>* adapters) {
  const std::string entry =
      "ReadAdapterList(" + std::to_string(size) + ", " + BufferState(buffer, size) + ")";
  if (!Enter(Call::kReadAdapterList, "", entry)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t needed = static_cast<uint32_t>(adapters_.size()) * kAdapterRecordSize;
  if (adapters_.empty() || buffer == nullptr || size < needed) return false;
  // The platform writes the records into the buffer: a buffer shorter than
  // claimed shows up under AddressSanitizer.
  std::memset(buffer, 0xA5, needed);
  adapters->insert(adapters->end(), adapters_.begin(), adapters_.end());
  return true;
}

network_platform::IcmpHandle FakeNetwork::OpenIcmp() {
  if (!Enter(Call::kOpenIcmp, "", "OpenIcmp")) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  const uintptr_t id = next_handle_++;
  open_handles_.insert(id);
  ++handles_opened_;
  peak_open_handles_ = std::max(peak_open_handles_, static_cast<int>(open_handles_.size()));
  return reinterpret_cast<network_platform::IcmpHandle>(id);
}

uint32_t FakeNetwork::SendEcho(network_platform::IcmpHandle handle,
                               const network_platform::Ipv4Address& destination, uint8_t* reply,
                               uint32_t reply_size, uint32_t timeout_ms) {
  const std::string address = Dotted(destination);
  Echo echo;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_handles_.count(HandleId(handle)) == 0) ++icmp_misuses_;
    const auto scripted = echoes_.find(address);
    echo = scripted == echoes_.end() ? default_echo_ : scripted->second;
  }
  const std::string entry = "SendEcho(" + address + ", " + std::to_string(reply_size) + " " +
                            BufferState(reply, reply_size) + ", " + std::to_string(timeout_ms) +
                            ")";
  const bool succeeds = Enter(Call::kSendEcho, address, entry);
  if (echo.delay.count() > 0) std::this_thread::sleep_for(echo.delay);
  if (echo.raises) throw std::runtime_error("scripted echo failure for " + address);
  // The reply record: replying address, then the status in host order.
  constexpr uint32_t kRecordHead = 8;
  if (!succeeds || !echo.replies || reply_size < kRecordHead) return 0;
  std::memcpy(reply, destination.data(), destination.size());
  std::memcpy(reply + destination.size(), &echo.status, sizeof(echo.status));
  return 1;
}

void FakeNetwork::CloseIcmp(network_platform::IcmpHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("CloseIcmp");
  if (open_handles_.erase(HandleId(handle)) == 0) ++icmp_misuses_;
}

}  // namespace fake_network

namespace network_platform {

using fake_network::FakeNetwork;

int StartSockets() { return FakeNetwork::Instance().StartSockets(); }
void StopSockets() { FakeNetwork::Instance().StopSockets(); }
int ReadHostName(char* buffer, size_t size) {
  return FakeNetwork::Instance().ReadHostName(buffer, size);
}
bool ResolveIpv4(const char* name, std::vector<Ipv4Address>* addresses) {
  return FakeNetwork::Instance().ResolveIpv4(name, addresses);
}
bool FormatIpv4(const Ipv4Address& address, char* buffer, size_t size) {
  return FakeNetwork::Instance().FormatIpv4(address, buffer, size);
}
int ParseIpv4(const char* text, Ipv4Address* address) {
  return FakeNetwork::Instance().ParseIpv4(text, address);
}
uint32_t QueryAdapterListSize() { return FakeNetwork::Instance().QueryAdapterListSize(); }
bool ReadAdapterList(uint8_t* buffer, uint32_t size, std::vector<Adapter>* adapters) {
  return FakeNetwork::Instance().ReadAdapterList(buffer, size, adapters);
}
IcmpHandle OpenIcmp() { return FakeNetwork::Instance().OpenIcmp(); }
uint32_t SendEcho(IcmpHandle handle, const Ipv4Address& destination, uint8_t* reply,
                  uint32_t reply_size, uint32_t timeout_ms) {
  return FakeNetwork::Instance().SendEcho(handle, destination, reply, reply_size, timeout_ms);
}
void CloseIcmp(IcmpHandle handle) { FakeNetwork::Instance().CloseIcmp(handle); }

}  // namespace network_platform
