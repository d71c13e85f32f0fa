// Inline access to the built-in buffer streams, for the standard codec's
// direct path: when a stream is exactly a ByteBufferStreamReader or
// ByteBufferStreamWriter, nothing can observe the individual stream calls, so
// the serializer reads and appends through these classes instead of making
// one virtual call per tag, size, pad and number.
//
// BufferCursor is also how ByteBufferStreamReader's own operations are
// written, so both paths check bounds, report and yield alike.
//
// Internal to the encoding library. Each object lives on one call's stack
// and serves that call's thread only.

#ifndef RIVELO_ENCODING_BUFFER_STREAM_ACCESS_H_
#define RIVELO_ENCODING_BUFFER_STREAM_ACCESS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/codec_diagnostics.h"

namespace flutter {
namespace internal {

// Reads a ByteBufferStreamReader's range. The cursor works on its own copy
// of the range and position, and hands the position back to the stream when
// it goes out of scope: the decoder's stores into the values it builds could
// alias the stream's fields, so reading through the stream would load them
// afresh for every byte. Nothing else may read the stream while a cursor is
// alive.
class BufferCursor {
 public:
  explicit BufferCursor(ByteBufferStreamReader* stream)
      : stream_(*stream),
        bytes_(stream->bytes_),
        size_(stream->size_),
        position_(stream->position_) {}
  ~BufferCursor() { stream_.position_ = position_; }

  BufferCursor(const BufferCursor&) = delete;
  BufferCursor& operator=(const BufferCursor&) = delete;

  uint8_t ReadByte() {
    if (position_ >= size_) {
      ReportInvalidRead();
      return 0;
    }
    return bytes_[position_++];
  }

  // The next byte, left unread; 0 at the end, without a report.
  uint8_t PeekByte() const {
    return position_ < size_ ? bytes_[position_] : 0;
  }

  // Consumes the next count bytes and points first at them; false, after
  // reporting an invalid read, when the range cannot hold them, in which case
  // the position stays. One check covers both the count and a position that
  // padding has moved past the end. A flag rather than a null pointer, so
  // that the caller's branch is the bounds check itself.
  bool Take(size_t count, const uint8_t*& first) {
    if (position_ > size_ || count > size_ - position_) {
      ReportInvalidRead();
      return false;
    }
    first = bytes_ + position_;
    position_ += count;
    return true;
  }

  void ReadBytes(uint8_t* destination, size_t count) {
    const uint8_t* source;
    // memcpy with a null pointer is undefined even for zero bytes, and an
    // empty vector's data() may be null.
    if (Take(count, source) && count != 0) {
      std::memcpy(destination, source, count);
    }
  }

  // Unchecked: the position may pass the end, after which every read fails.
  void SkipPadding(uint8_t alignment) {
    if (alignment == 0) {
      return;
    }
    const size_t remainder = position_ % alignment;
    if (remainder != 0) {
      position_ += alignment - remainder;
    }
  }

  size_t Remaining() const { return Remaining(position_, size_); }

  static size_t Remaining(const ByteBufferStreamReader& stream) {
    return Remaining(stream.position_, stream.size_);
  }

 private:
  static size_t Remaining(size_t position, size_t size) {
    return position < size ? size - position : 0;
  }

  ByteBufferStreamReader& stream_;
  const uint8_t* const bytes_;
  const size_t size_;
  size_t position_;
};

// Appends to a ByteBufferStreamWriter's vector. The vector is grown ahead of
// the writes into zero-filled slack, so that an append is a bounds check and
// a store; the slack is cut off again when the appender goes out of scope,
// also when an allocation fails halfway. While an appender is alive the
// vector's length is not the write position: nothing else may use it then.
class BufferAppender {
 public:
  explicit BufferAppender(ByteBufferStreamWriter* stream)
      : buffer_(*stream->buffer_),
        first_(buffer_.size()),
        start_(buffer_.data()),
        next_(start_ + first_),
        end_(next_) {}
  ~BufferAppender() { buffer_.resize(Position()); }

  BufferAppender(const BufferAppender&) = delete;
  BufferAppender& operator=(const BufferAppender&) = delete;

  void WriteByte(uint8_t byte) {
    if (next_ == end_) {
      Grow(1);
    }
    *next_++ = byte;
  }

  void WriteBytes(const uint8_t* source, size_t count) {
    if (static_cast<size_t>(end_ - next_) < count) {
      AppendBeyondSlack(source, count);
      return;
    }
    if (count != 0) {
      std::memcpy(next_, source, count);
      next_ += count;
    }
  }

  // In one go: the zeros up to the next multiple of kAlignment, counted from
  // the start of the vector.
  template <uint8_t kAlignment>
  void WritePadding() {
    const size_t fill = (kAlignment - Position() % kAlignment) % kAlignment;
    if (fill == 0) {
      return;
    }
    if (static_cast<size_t>(end_ - next_) < kAlignment) {
      Grow(kAlignment);
    }
    std::memset(next_, 0, kAlignment);
    next_ += fill;
  }

  // Makes room for at least bytes more at once, so that a large list or map
  // grows the vector once rather than doubling it step by step.
  void Expect(size_t bytes) {
    if (static_cast<size_t>(end_ - next_) < bytes) {
      Grow(bytes);
    }
  }

 private:
  size_t Position() const { return static_cast<size_t>(next_ - start_); }

  // The rare paths, out of line so that the appends stay small enough to
  // inline. Grow adds slack of at least count bytes, and as much as this
  // appender has written so far, so that growing costs in proportion to what
  // it writes, never to what the vector held before or could hold: a small
  // write into a cleared vector of large capacity, or each of many writes
  // into one long vector, would otherwise zero-fill all of it. A block larger
  // than the slack goes in through the vector's own insert, which copies it
  // once instead of zero-filling room for it first.
  void Grow(size_t count);
  void AppendBeyondSlack(const uint8_t* source, size_t count);

  void Rebase(size_t written) {
    start_ = buffer_.data();
    next_ = start_ + written;
    end_ = start_ + buffer_.size();
  }

  std::vector<uint8_t>& buffer_;
  const size_t first_;  // the vector's length when this appender started
  uint8_t* start_;
  uint8_t* next_;
  uint8_t* end_;
};

}  // namespace internal
}  // namespace flutter

#endif  // RIVELO_ENCODING_BUFFER_STREAM_ACCESS_H_
