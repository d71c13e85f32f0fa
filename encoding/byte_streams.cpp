#include "encoding/byte_streams.h"

#include <cstring>

#include "encoding/codec_diagnostics.h"

namespace flutter {

ByteStreamReader::~ByteStreamReader() = default;

size_t ByteStreamReader::BytesRemaining() const { return kUnknownRemaining; }

ByteStreamWriter::~ByteStreamWriter() = default;

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes,
                                               size_t size)
    : bytes_(bytes), size_(size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ >= size_) {
    internal::ReportInvalidRead();
    return 0;
  }
  return bytes_[position_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, size_t count) {
  // Written so that a huge count cannot wrap position_ + count around.
  if (position_ > size_ || count > size_ - position_) {
    internal::ReportInvalidRead();
    return;
  }
  // memcpy with a null pointer is undefined even for zero bytes, and an
  // empty vector's data() may be null.
  if (count != 0) {
    std::memcpy(destination, bytes_ + position_, count);
    position_ += count;
  }
}

void ByteBufferStreamReader::SkipPadding(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const size_t remainder = position_ % alignment;
  if (remainder != 0) {
    position_ += alignment - remainder;
  }
}

size_t ByteBufferStreamReader::BytesRemaining() const {
  return position_ < size_ ? size_ - position_ : 0;
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

}  // namespace flutter
