#include "discovery/network_platform.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

// Resolution reaches the resolver through getaddrinfo's import slot; filling
// the slot makes it fail without asking any resolver, so nothing leaves the
// machine.
extern "C" {
decltype(&getaddrinfo) __imp_getaddrinfo = [](PCSTR, PCSTR, const ADDRINFOA*, PADDRINFOA*) -> INT {
  return WSAHOST_NOT_FOUND;
};
}

TEST(NetworkPlatformWindows, FailedResolutionIsReported) {
  std::vector<network_platform::Ipv4Address> addresses;
  EXPECT_FALSE(network_platform::ResolveIpv4("rivelo-host", &addresses));
  EXPECT_TRUE(addresses.empty());
}
