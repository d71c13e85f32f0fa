#include "encoding/byte_streams.h"

#include <algorithm>

#include "encoding/buffer_stream_access.h"

namespace flutter {

ByteStreamReader::~ByteStreamReader() = default;

size_t ByteStreamReader::BytesRemaining() const { return kUnknownRemaining; }

ByteStreamWriter::~ByteStreamWriter() = default;

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes,
                                               size_t size)
    : bytes_(bytes), size_(size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

uint8_t ByteBufferStreamReader::ReadByte() {
  return internal::BufferCursor(this).ReadByte();
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, size_t count) {
  internal::BufferCursor(this).ReadBytes(destination, count);
}

void ByteBufferStreamReader::SkipPadding(uint8_t alignment) {
  internal::BufferCursor(this).SkipPadding(alignment);
}

size_t ByteBufferStreamReader::BytesRemaining() const {
  return internal::BufferCursor::Remaining(*this);
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
    : buffer_(buffer) {}

ByteBufferStreamWriter::~ByteBufferStreamWriter() = default;

void ByteBufferStreamWriter::WriteByte(uint8_t byte) {
  buffer_->push_back(byte);
}

void ByteBufferStreamWriter::WriteBytes(const uint8_t* source, size_t count) {
  if (count != 0) {
    buffer_->insert(buffer_->end(), source, source + count);
  }
}

void ByteBufferStreamWriter::WritePadding(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const size_t remainder = buffer_->size() % alignment;
  if (remainder == 0) {
    return;
  }
  for (size_t i = remainder; i < alignment; ++i) {
    WriteByte(0);
  }
}

namespace internal {

void BufferAppender::Grow(size_t count) {
  // A first write may fill what the vector has already allocated, up to the
  // size of a typical small message, without allocating again.
  constexpr size_t kSmallMessage = 64;
  const size_t written = Position();
  const size_t needed = written + std::max(count, written - first_);
  const size_t allocated = std::min(buffer_.capacity(), written + kSmallMessage);
  buffer_.resize(std::max(needed, allocated));
  Rebase(written);
}

void BufferAppender::AppendBeyondSlack(const uint8_t* source, size_t count) {
  const size_t written = Position();
  buffer_.resize(written);
  buffer_.insert(buffer_.end(), source, source + count);
  Rebase(written + count);
}

}  // namespace internal
}  // namespace flutter
