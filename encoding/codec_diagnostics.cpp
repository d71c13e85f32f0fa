#include "encoding/codec_diagnostics.h"

#include <iostream>
#include <string>

namespace flutter {
namespace internal {
namespace {

void ReportLine(std::string line) {
  line += '\n';
  std::cerr << line << std::flush;
}

}  // namespace

void ReportInvalidRead() {
  ReportLine("Invalid read in StandardCodecByteStreamReader");
}

void ReportUnknownType(uint8_t type) {
  ReportLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
             std::to_string(type));
}

void ReportUnhandledCustomType() {
  ReportLine(
      "Unhandled custom type in StandardCodecSerializer::WriteValue. "
      "Custom types require codec extensions.");
}

void ReportOversizedSize(size_t size) {
  ReportLine("Size too large for StandardCodecSerializer: " +
             std::to_string(size) + " exceeds 4294967295");
}

void ReportNestingTooDeep(int max_depth) {
  ReportLine("Value nested deeper than " + std::to_string(max_depth) +
             " levels in StandardCodecSerializer::ReadValue; read as null");
}

void ReportInvalidMethodCall() {
  ReportLine("Invalid method call; method name is not a string.");
}

}  // namespace internal
}  // namespace flutter
