// Console and diagnostic lines written whole. Probes print from fifty threads
// at once; a line handed to the stream piece by piece can be torn by another
// thread's piece landing in the middle of it. Every line of the system goes
// through here instead: formatted first, then handed to the stream in ONE
// write and flushed.
//
// Safe from any thread, without a lock of our own: std::cout and std::cerr
// forward each write to the C library's stream, which takes its stream lock
// for the whole write. Lives beside the codec because the codec is the lowest
// layer that every other part (engine binding, discovery, the stand-in engine
// and the tools) already links.
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
