#include "encoding/console_line.h"

namespace console_line {

void WriteWhole(std::ostream& stream, const std::string& text) {
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
  stream.flush();
}

}  // namespace console_line
