#include "encoding/codec_diagnostics.h"

#include <iostream>

#include "encoding/console_line.h"

namespace flutter {
namespace internal {

void ReportInvalidRead() {
  console_line::WriteLine(std::cerr, "Invalid read in StandardCodecByteStreamReader");
}

void ReportUnknownType(uint8_t type) {
  console_line::WriteLine(std::cerr, "Unknown type in StandardCodecSerializer::ReadValueOfType: ",
                          static_cast<unsigned>(type));
}

void ReportUnhandledCustomType() {
  console_line::WriteLine(std::cerr,
                          "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                          "Custom types require codec extensions.");
}

void ReportOversizedSize(size_t size) {
  console_line::WriteLine(std::cerr, "Size too large for StandardCodecSerializer: ", size,
                          " exceeds 4294967295");
}

void ReportNestingTooDeep(int max_depth) {
  console_line::WriteLine(std::cerr, "Value nested deeper than ", max_depth,
                          " levels in StandardCodecSerializer::ReadValue; read as null");
}

void ReportInvalidMethodCall() {
  console_line::WriteLine(std::cerr, "Invalid method call; method name is not a string.");
}

}  // namespace internal
}  // namespace flutter
