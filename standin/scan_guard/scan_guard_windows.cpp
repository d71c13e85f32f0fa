// Gathers what the guard decides on from the running Windows (or Wine)
// system: the adapters and their gateways as GetAdaptersAddresses lists them
// for IPv4, the marker from the process environment, and the token from the
// hosts file that Wine shows at Z:\etc\hosts (Linux's /etc/hosts, which
// `ip netns exec` replaces with the namespace's own). On Windows there is no
// such file, so nothing is allowed there.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "encoding/console_line.h"
#include "standin/scan_guard/scan_guard.h"
#include "standin/text/text.h"

namespace scan_guard {
namespace {

std::string Name(const wchar_t* wide) {
  const std::string name = wide != nullptr ? standin::Utf8FromWide(wide) : std::string();
  return name.empty() ? "(unnamed)" : name;
}

std::string Text(const SOCKADDR* socket_address) {
  const auto* ipv4 = reinterpret_cast<const SOCKADDR_IN*>(socket_address);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&ipv4->sin_addr);
  return console_line::Format(+bytes[0], '.', +bytes[1], '.', +bytes[2], '.', +bytes[3]);
}

std::vector<Adapter> Collect(const IP_ADAPTER_ADDRESSES* first) {
  std::vector<Adapter> adapters;
  for (const IP_ADAPTER_ADDRESSES* entry = first; entry != nullptr; entry = entry->Next) {
    Adapter adapter{Name(entry->FriendlyName), entry->IfType == IF_TYPE_SOFTWARE_LOOPBACK, {}, {}};
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = entry->FirstUnicastAddress;
         unicast != nullptr; unicast = unicast->Next) {
      const SOCKADDR* socket_address = unicast->Address.lpSockaddr;
      if (socket_address == nullptr || socket_address->sa_family != AF_INET) continue;
      const auto* ipv4 = reinterpret_cast<const SOCKADDR_IN*>(socket_address);
      const auto* bytes = reinterpret_cast<const uint8_t*>(&ipv4->sin_addr);
      adapter.ipv4.push_back(
          Ipv4Interface{{bytes[0], bytes[1], bytes[2], bytes[3]}, unicast->OnLinkPrefixLength});
    }
    for (const IP_ADAPTER_GATEWAY_ADDRESS_LH* gateway = entry->FirstGatewayAddress;
         gateway != nullptr; gateway = gateway->Next) {
      const SOCKADDR* socket_address = gateway->Address.lpSockaddr;
      adapter.gateways.push_back(socket_address != nullptr && socket_address->sa_family == AF_INET
                                     ? Text(socket_address)
                                     : std::string("(not IPv4)"));
    }
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

std::optional<std::string> Marker() {
  char value[64];
  const DWORD length = GetEnvironmentVariableA(kMarkerVariable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return std::nullopt;
  return std::string(value, length);
}

std::optional<std::string> Token() {
  std::ifstream hosts("Z:\\etc\\hosts", std::ios::binary);
  return TokenInHosts(std::string(std::istreambuf_iterator<char>(hosts), {}));
}

}  // namespace

Decision CheckHere() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
      GAA_FLAG_INCLUDE_GATEWAYS;
  ULONG size = 16 * 1024;
  std::vector<uint8_t> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between the size the call asks for and the next call.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size, 0);
    result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == ERROR_NO_DATA) return Decide({}, Marker(), Token());
  if (result != NO_ERROR) {
    return Decision{false,
                    console_line::Format("the network adapters cannot be listed (error ", result,
                                         ")"),
                    ""};
  }
  return Decide(Collect(reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data())), Marker(),
                Token());
}

}  // namespace scan_guard
