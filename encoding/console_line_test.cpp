// Lines written through console_line from many threads at once reach the real
// standard output and error whole and flushed. The descriptor below the stream
// points at a file while the threads write, so the lines pass through the very
// C library stream (its lock, its buffer or lack of one) that every console
// line of the process goes through.
#include "encoding/console_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int Duplicate(int descriptor) { return _dup(descriptor); }
int Redirect(int from, int to) { return _dup2(from, to); }
int CloseDescriptor(int descriptor) { return _close(descriptor); }
int DescriptorOf(FILE* stream) { return _fileno(stream); }
#else
int Duplicate(int descriptor) { return dup(descriptor); }
int Redirect(int from, int to) { return dup2(from, to); }
int CloseDescriptor(int descriptor) { return close(descriptor); }
int DescriptorOf(FILE* stream) { return fileno(stream); }
#endif

constexpr int kThreads = 16;
constexpr int kLinesPerThread = 400;

// Hands `use` the pieces of one line: many, of varying length, so a line
// written piece by piece would give other threads many chances to cut in.
template <typename Use>
auto WithPieces(int thread, int line, Use use) {
  const std::string filler(static_cast<size_t>(1 + line % 13), static_cast<char>('a' + thread));
  return use("thread ", thread, ' ', "line ", line, ':', filler, ' ', filler, ' ', filler, ' ',
             filler, ' ', filler, ' ', filler, ' ', filler, ' ', filler, " end");
}

void WriteLines(std::ostream* stream, int thread, std::shared_future<void> go) {
  go.wait();
  for (int line = 0; line < kLinesPerThread; ++line) {
    WithPieces(thread, line,
               [stream](const auto&... pieces) { console_line::WriteLine(*stream, pieces...); });
  }
}

std::string ReadAll(FILE* file) {
  std::fseek(file, 0, SEEK_SET);
  std::string text;
  char chunk[4096];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, count);
  return text;
}

// What kThreads threads wrote at once through `stream` while `descriptor`, the
// one below it, pointed at a file; read before anything else flushes.
std::string WrittenByManyThreads(std::ostream& stream, FILE* c_stream, int descriptor) {
  stream.flush();
  std::fflush(c_stream);
  FILE* capture = std::tmpfile();
  if (capture == nullptr) return "no temporary file";
  const int saved = Duplicate(descriptor);
  Redirect(DescriptorOf(capture), descriptor);

  std::promise<void> start;
  const std::shared_future<void> go = start.get_future().share();
  std::vector<std::thread> writers;
  for (int thread = 0; thread < kThreads; ++thread) {
    writers.emplace_back(WriteLines, &stream, thread, go);
  }
  start.set_value();
  for (std::thread& writer : writers) writer.join();
  const std::string written = ReadAll(capture);

  std::fflush(c_stream);
  Redirect(saved, descriptor);
  CloseDescriptor(saved);
  std::fclose(capture);
  return written;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // text-mode descriptors
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Standard output is buffered, standard error is not: both must keep lines whole.
TEST(ConsoleLine, LinesFromManyThreadsReachTheStandardStreamsWholeAndFlushed) {
  std::vector<std::string> expected;
  for (int thread = 0; thread < kThreads; ++thread) {
    for (int line = 0; line < kLinesPerThread; ++line) {
      expected.push_back(WithPieces(
          thread, line, [](const auto&... pieces) { return console_line::Format(pieces...); }));
    }
  }
  std::sort(expected.begin(), expected.end());
  const std::vector<std::string> out = SortedLines(WrittenByManyThreads(std::cout, stdout, 1));
  const std::vector<std::string> err = SortedLines(WrittenByManyThreads(std::cerr, stderr, 2));
  for (const auto* lines : {&out, &err}) {
    std::vector<std::string> torn;
    std::set_difference(lines->begin(), lines->end(), expected.begin(), expected.end(),
                        std::back_inserter(torn));
    EXPECT_TRUE(torn.empty()) << torn.size() << " torn lines, the first: " << torn.front();
    EXPECT_EQ(lines->size(), expected.size());
  }
}

}  // namespace
