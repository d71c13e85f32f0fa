#include "discovery/local_network.h"

#include <array>
#include <cstdint>
#include <vector>

#include "discovery/network_platform.h"

namespace {

// One socket-library session: stopped exactly once on every path, whatever
// the start returned.
class SocketSession {
 public:
  SocketSession() { network_platform::StartSockets(); }
  ~SocketSession() { network_platform::StopSockets(); }
  SocketSession(const SocketSession&) = delete;
  SocketSession& operator=(const SocketSession&) = delete;
};

std::string FormatAddress(const network_platform::Ipv4Address& address) {
  // INET_ADDRSTRLEN as Windows defines it; an IPv4 text needs 16.
  std::array<char, 22> text{};
  if (!network_platform::FormatIpv4(address, text.data(), text.size())) return {};
  return text.data();
}

std::string MaskOfAdapterWhoseFirstAddressIs(const std::string& ip) {
  // Read once after the size query: a list that grew in between makes the
  // read fail, and the lookup fails with it rather than retrying.
  const uint32_t size = network_platform::QueryAdapterListSize();
  std::vector<uint8_t> buffer(size);
  std::vector<network_platform::Adapter> adapters;
  if (!network_platform::ReadAdapterList(buffer.empty() ? nullptr : buffer.data(), size,
                                         &adapters) ||
      buffer.empty()) {
    return {};
  }
  for (const network_platform::Adapter& adapter : adapters) {
    if (adapter.addresses.empty()) continue;
    const network_platform::AdapterAddress& first = adapter.addresses.front();
    if (first.address == ip) return first.mask;
  }
  return {};
}

}  // namespace

LocalIpAndMask GetLocalIpAndSubnetMask() {
  SocketSession session;
  std::array<char, 256> host_name{};
  network_platform::ReadHostName(host_name.data(), host_name.size());
  std::vector<network_platform::Ipv4Address> addresses;
  if (!network_platform::ResolveIpv4(host_name.data(), &addresses)) return {};
  LocalIpAndMask local;
  if (!addresses.empty()) local.ip = FormatAddress(addresses.front());
  local.subnet_mask = MaskOfAdapterWhoseFirstAddressIs(local.ip);
  return local;
}

std::string GetSubnetPrefix(const std::string& ip, const std::string& subnet_mask) {
  network_platform::Ipv4Address address{};
  network_platform::Ipv4Address mask{};
  network_platform::ParseIpv4(ip.c_str(), &address);
  network_platform::ParseIpv4(subnet_mask.c_str(), &mask);
  network_platform::Ipv4Address network{};
  for (size_t i = 0; i < network.size(); ++i) {
    network[i] = static_cast<uint8_t>(address[i] & mask[i]);
  }
  const std::string text = FormatAddress(network);
  // npos + 1 wraps to 0: text without a dot gives an empty prefix.
  return text.substr(0, text.rfind('.') + 1);
}
