// A line stays whole only if the stream gets it in one write: the standard
// streams hand each write to the C library in one locked call, so what
// console_line owes is one write per line, then a flush.
#include "encoding/console_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

// Every write and flush a stream hands down, in order. A single character put
// on its own (no put area, no overflow) fails the stream, and shows too.
struct RecordingBuffer : std::streambuf {
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    calls.emplace_back(text, static_cast<size_t>(count));
    return count;
  }
  int sync() override {
    calls.emplace_back("flush");
    return 0;
  }
  std::vector<std::string> calls;
};

TEST(ConsoleLine, EachLineGoesDownInOneWriteAndIsFlushed) {
  RecordingBuffer buffer;
  std::ostream stream(&buffer);
  console_line::WriteLine(stream, "Probe of ", 7, ':', 2.5, ' ', std::string("failed"));
  console_line::WriteLine(stream);
  console_line::WriteWhole(stream, "as it is");
  EXPECT_EQ(buffer.calls, (std::vector<std::string>{"Probe of 7:2.5 failed\n", "flush", "\n",
                                                    "flush", "as it is", "flush"}));
}

}  // namespace
