// StandardCodecSerializer: the standard wire format of EncodableValue, shared
// with the Dart side byte for byte. Stateless: the process-wide instance
// (GetInstance) and any derived serializer serve any number of threads at
// once. Derived serializers add tags by overriding WriteValue and
// ReadValueOfType; every nested value goes through those overrides, so extra
// tags are seen at any depth.
//
// Malformed input never stops decoding: every read returns a value, and the
// faults are reported on standard error, one line each. A count is checked
// against the input left before anything is reserved or looped over,
// counting the bytes that enclosing lists and maps still need for their
// later elements: a count that cannot fit is reported as an invalid read and
// yields an empty value of its type, and a decode holds at most 64 bytes per
// input byte and 1 MiB besides, whatever the nesting. Readers that do not
// report BytesRemaining are trusted.
//
// When the serializer is exactly this class and the stream exactly one of
// the built-in buffer streams, a top-level WriteValue or ReadValue works on
// the buffer directly, nested values included; derived serializers and
// streams see every call they would see otherwise.

#ifndef RIVELO_ENCODING_STANDARD_CODEC_SERIALIZER_H_
#define RIVELO_ENCODING_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"

namespace flutter {

class StandardCodecSerializer {
 public:
  // Created on first use, safe against concurrent first calls.
  static const StandardCodecSerializer& GetInstance();

  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // Reads one tag and its payload. A value nested more than 512 levels deep
  // is reported and read as null (its tag consumed), so that crafted input
  // cannot exhaust the stack.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // Appends the tag and payload of value. A custom value, and a string,
  // vector, list or map too large for the size field, is written as null and
  // reported on standard error, so the message stays well formed.
  virtual void WriteValue(const EncodableValue& value,
                          ByteStreamWriter* stream) const;

 protected:
  StandardCodecSerializer();

  // Reads the payload of an already-read tag. An unknown tag is reported and
  // yields null without consuming anything more.
  virtual EncodableValue ReadValueOfType(uint8_t type,
                                         ByteStreamReader* stream) const;

  size_t ReadSize(ByteStreamReader* stream) const;

  // A size above 0xFFFFFFFF cannot be represented: it is reported on
  // standard error and nothing is written.
  void WriteSize(size_t size, ByteStreamWriter* stream) const;

 private:
  friend class StandardMethodCodec;

  // text as a string value, as WriteValue would write it, without building
  // an EncodableValue unless a derived serializer is there to see one.
  void WriteString(const std::string& text, ByteStreamWriter* stream) const;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_STANDARD_CODEC_SERIALIZER_H_
