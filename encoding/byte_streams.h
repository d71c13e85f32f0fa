// Byte streams that the standard codec writes values to and reads them from,
// and their in-memory implementations. A reader or writer is created on the
// caller's stack for one message, used by one thread, and discarded after it.
// Positions and padding count from the first byte of the whole message, so one
// stream must span the whole message.

#ifndef RIVELO_ENCODING_BYTE_STREAMS_H_
#define RIVELO_ENCODING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace flutter {
namespace internal {
class BufferCursor;
class BufferAppender;
}  // namespace internal

class ByteStreamReader {
 public:
  // What BytesRemaining returns when a reader cannot tell.
  static constexpr size_t kUnknownRemaining =
      std::numeric_limits<size_t>::max();

  virtual ~ByteStreamReader();

  // Returns the next byte. A failed read yields 0.
  virtual uint8_t ReadByte() = 0;

  // Copies the next count bytes. A failed read leaves destination untouched.
  virtual void ReadBytes(uint8_t* destination, size_t count) = 0;

  // Advances the position to the next multiple of alignment.
  virtual void SkipPadding(uint8_t alignment) = 0;

  // Upper bound of the bytes still readable. Decoders compare announced
  // counts with it, less what enclosing levels still need, before they
  // reserve storage or loop, so corrupt counts cannot make them allocate or
  // iterate beyond the input. It is a query
  // after the three reading operations, rather than a change to them, so that
  // readers written against those three keep working: such a reader does not
  // override it and its counts are trusted, as the default says "unknown".
  virtual size_t BytesRemaining() const;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter();

  virtual void WriteByte(uint8_t byte) = 0;

  virtual void WriteBytes(const uint8_t* source, size_t count) = 0;

  // Appends zero bytes up to the next multiple of alignment.
  virtual void WritePadding(uint8_t alignment) = 0;
};

// Reads from a byte range owned by the caller, which must outlive the reader.
// A read beyond the end reports "Invalid read in StandardCodecByteStreamReader"
// on standard error, yields zeros and leaves the position where it was.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override;

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* destination, size_t count) override;
  // Unchecked: the position may pass the end, after which every read fails.
  void SkipPadding(uint8_t alignment) override;
  size_t BytesRemaining() const override;

 private:
  // The codec's inline access, and the one definition of the checks above.
  friend class internal::BufferCursor;

  const uint8_t* bytes_;
  size_t size_;
  size_t position_ = 0;
};

// Appends to a byte vector owned by the caller, which must outlive the writer;
// the vector's length is the write position.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);
  ~ByteBufferStreamWriter() override;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* source, size_t count) override;
  void WritePadding(uint8_t alignment) override;

 private:
  // The codec's inline access to the vector.
  friend class internal::BufferAppender;

  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_BYTE_STREAMS_H_
