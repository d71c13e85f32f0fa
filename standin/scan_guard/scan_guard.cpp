#include "standin/scan_guard/scan_guard.h"

#include <iostream>
#include <sstream>

#include "encoding/console_line.h"

namespace scan_guard {
namespace {

// The /24s that scripts/simlan.sh pick hands out: 10.77.1 to 10.77.254.
bool InReservedRange(const Ipv4Interface& entry) {
  const auto& a = entry.address;
  return a[0] == 10 && a[1] == 77 && a[2] >= 1 && a[2] <= 254 && a[3] >= 1 && a[3] <= 254 &&
         entry.prefix_length == 24;
}

std::string Text(const Ipv4Interface& entry) {
  const auto& a = entry.address;
  return console_line::Format(+a[0], '.', +a[1], '.', +a[2], '.', +a[3], '/',
                              entry.prefix_length);
}

std::string PrefixOf(const Ipv4Interface& entry) {
  const auto& a = entry.address;
  return console_line::Format(+a[0], '.', +a[1], '.', +a[2]);
}

Decision Refused(std::string reason) { return Decision{false, std::move(reason), ""}; }

}  // namespace

Decision Decide(const std::vector<Adapter>& adapters, const std::optional<std::string>& marker,
                const std::optional<std::string>& lan_token) {
  std::vector<const Adapter*> carrying;
  std::string seen;
  std::string gateways;
  for (const Adapter& adapter : adapters) {
    for (const std::string& gateway : adapter.gateways) {
      gateways += console_line::Format(gateways.empty() ? "" : ", ", adapter.name, ' ', gateway);
    }
    if (adapter.loopback || adapter.ipv4.empty()) continue;
    carrying.push_back(&adapter);
    for (const Ipv4Interface& entry : adapter.ipv4) {
      seen += console_line::Format(seen.empty() ? "" : ", ", adapter.name, ' ', Text(entry));
    }
  }
  if (carrying.size() != 1 || carrying.front()->ipv4.size() != 1) {
    return Refused(console_line::Format(
        "expected exactly one network adapter with one IPv4 address besides loopback, found [",
        seen, "]"));
  }
  if (!gateways.empty()) {
    return Refused(console_line::Format("found gateways [", gateways,
                                        "], but a simulated LAN has no way out"));
  }
  const Adapter& adapter = *carrying.front();
  const Ipv4Interface& entry = adapter.ipv4.front();
  if (!InReservedRange(entry)) {
    return Refused(console_line::Format("the address ", Text(entry), " of ", adapter.name,
                                        " lies outside the simulated LANs' range 10.77.1.0/24 "
                                        "to 10.77.254.0/24"));
  }
  if (!marker) {
    return Refused(console_line::Format(
        kMarkerVariable, " is not set (scripts/simlan.sh exec sets it after checking isolation)"));
  }
  if (marker != lan_token) {
    return Refused(console_line::Format(
        kMarkerVariable, " is '", *marker, "', but ",
        lan_token ? "this network namespace's token is '" + *lan_token + "'"
                  : std::string("this network namespace holds no token in /etc/hosts")));
  }
  const std::string named = marker->substr(0, marker->find('/'));
  if (named != PrefixOf(entry)) {
    return Refused(console_line::Format(kMarkerVariable, " names '", named, "', but ",
                                        adapter.name, " has ", Text(entry)));
  }
  return Decision{true,
                  console_line::Format("one adapter, ", adapter.name, ' ', Text(entry),
                                       ", no gateway, in the simulated LAN ", named),
                  named};
}

std::optional<std::string> TokenInHosts(const std::string& hosts) {
  const std::string start = std::string(kTokenLine) + '=';
  std::istringstream lines(hosts);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > start.size() && line.compare(0, start.size(), start) == 0) {
      return line.substr(start.size());
    }
  }
  return std::nullopt;
}

void ReportRefusal(const char* program, const Decision& decision) {
  console_line::WriteLine(std::cerr, program, ": scan refused: ", decision.reason,
                          ". Scans run only inside a simulated LAN: run scripts/demo.sh, or run "
                          "the program with scripts/simlan.sh exec NAME -- wine ... in a LAN made "
                          "by scripts/simlan.sh up");
}

}  // namespace scan_guard
