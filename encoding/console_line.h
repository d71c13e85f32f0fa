// The system's console writer. Every console and diagnostic line (of the
// codec, the engine binding, discovery and the stand-in's scan guard) is
// formatted first and then handed to its stream in ONE write and flushed:
// probes print from fifty threads at once, and a line handed to the stream
// piece by piece can be torn by another thread's piece landing in its middle.
// A library of its own (rivelo_console_line) that each of those parts links.
//
// Owns nothing and keeps no state; the caller owns the stream. Safe from any
// thread without a lock of its own: std::cout and std::cerr forward each
// write to the C library's stream, which takes its stream lock for the whole
// write. Any other stream must be safe for the threads that share it.
#ifndef RIVELO_ENCODING_CONSOLE_LINE_H_
#define RIVELO_ENCODING_CONSOLE_LINE_H_

#include <ostream>
#include <sstream>
#include <string>

namespace console_line {

// The pieces as `stream << piece << ...` would format them on a stream in its
// default state.
template <typename... Pieces>
std::string Format(const Pieces&... pieces) {
  std::ostringstream text;
  (text << ... << pieces);
  return text.str();
}

// Writes `text` as it is (no line break added) in one write, then flushes.
void WriteWhole(std::ostream& stream, const std::string& text);

// Writes the pieces and a line break as one line, then flushes.
template <typename... Pieces>
void WriteLine(std::ostream& stream, const Pieces&... pieces) {
  WriteWhole(stream, Format(pieces..., '\n'));
}

}  // namespace console_line

#endif  // RIVELO_ENCODING_CONSOLE_LINE_H_
