#include "encoding/standard_codec_serializer.h"

#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

#include "encoding/buffer_stream_access.h"
#include "encoding/codec_diagnostics.h"

// Numbers and numeric vectors are copied in their in-memory representation,
// which is the wire's little-endian one on every target this builds for.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The standard codec copies numbers as little-endian bytes."
#endif

namespace flutter {
namespace {

// Wire tags. These, the size forms and the padding rules are shared with the
// Dart side and with scripts/wire_reader.py: change them together or not
// at all.
enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kAltString = 5,
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint8_t kSize16 = 254;
constexpr uint8_t kSize32 = 255;
constexpr size_t kMaxSize = std::numeric_limits<uint32_t>::max();

// Decoding recurses once per nesting level, and crafted input needs only two
// bytes per level: without a cap a message of a few kilobytes exhausts a
// 1 MiB thread stack (Windows' default). Values nested deeper are read as
// null; real messages stay far below.
constexpr int kMaxReadDepth = 512;
thread_local int read_depth = 0;

class ReadDepthScope {
 public:
  ReadDepthScope() { ++read_depth; }
  ~ReadDepthScope() { --read_depth; }
  ReadDepthScope(const ReadDepthScope&) = delete;
  ReadDepthScope& operator=(const ReadDepthScope&) = delete;
};

// Whether object is exactly a T, not of a class derived from it.
template <typename T, typename Object>
bool IsExactly(const Object& object) {
  return typeid(object) == typeid(T);
}

// The held alternative, where the caller has switched on the index.
template <typename T>
const T& As(const EncodableValue& value) {
  return *std::get_if<T>(&value);
}

// Elements wider than a byte are aligned to their own width.
template <typename Element>
constexpr uint8_t Alignment() {
  return sizeof(Element) > 1 ? static_cast<uint8_t>(sizeof(Element)) : 0;
}

// The codec below is written once, over two ways of reaching the stream.
// Writers offer WriteByte, WriteBytes, WritePadding<alignment>, Expect (room
// for at least so many bytes more) and WriteNested; readers offer ReadByte,
// ReadBytes, SkipPadding, Remaining, ReadElements<Block> and ReadNested.

// Through the stream interface, one virtual call per piece, and every nested
// value through the serializer's overridable WriteValue: the calls that a
// derived serializer or stream sees.
class StreamWriter {
 public:
  StreamWriter(const StandardCodecSerializer& serializer,
               ByteStreamWriter* stream)
      : serializer_(serializer), stream_(stream) {}

  void WriteByte(uint8_t byte) { stream_->WriteByte(byte); }
  void WriteBytes(const uint8_t* source, size_t count) {
    stream_->WriteBytes(source, count);
  }
  template <uint8_t kAlignment>
  void WritePadding() {
    stream_->WritePadding(kAlignment);
  }
  void Expect(size_t) {}
  void WriteNested(const EncodableValue& value) {
    serializer_.WriteValue(value, stream_);
  }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
};

template <typename Writer>
void WriteEncoded(const EncodableValue& value, Writer& out);

// Straight into a ByteBufferStreamWriter's vector, for the standard
// serializer only: nested values recurse here, as nothing overrides them.
class BufferWriter : public internal::BufferAppender {
 public:
  using BufferAppender::BufferAppender;

  void WriteNested(const EncodableValue& value) { WriteEncoded(value, *this); }
};

// Runs write with the writer that suits serializer and stream.
template <typename Write>
void WriteThrough(const StandardCodecSerializer& serializer,
                  ByteStreamWriter* stream, Write write) {
  if (IsExactly<StandardCodecSerializer>(serializer) &&
      IsExactly<ByteBufferStreamWriter>(*stream)) {
    BufferWriter writer(static_cast<ByteBufferStreamWriter*>(stream));
    write(writer);
    return;
  }
  StreamWriter writer(serializer, stream);
  write(writer);
}

// Whether the input left can still hold `elements` values of at least
// `min_bytes` each. Lists and maps ask before every element, not only before
// the first: once nested values have used up the input, the enclosing counts
// are proven false, and looping on through them would cost time quadratic in
// the input, one diagnostic line per missing element.
template <typename Reader>
bool RemainingCanHold(size_t elements, size_t min_bytes, const Reader& in) {
  return elements <= in.Remaining() / min_bytes;
}

// Through the stream interface and the serializer's overridable operations:
// the calls that a derived serializer or stream sees.
class StreamReader {
 public:
  StreamReader(const StandardCodecSerializer& serializer,
               ByteStreamReader* stream)
      : serializer_(serializer), stream_(stream) {}

  uint8_t ReadByte() { return stream_->ReadByte(); }
  void ReadBytes(uint8_t* destination, size_t count) {
    stream_->ReadBytes(destination, count);
  }
  void SkipPadding(uint8_t alignment) { stream_->SkipPadding(alignment); }
  size_t Remaining() const { return stream_->BytesRemaining(); }

  // count elements in one block read into zeroed storage; a count that the
  // remaining input cannot hold is refused before anything is allocated,
  // reported as the invalid read it would end in, and read as empty.
  template <typename Block>
  EncodableValue ReadElements(size_t count) {
    using Element = typename Block::value_type;
    if (!RemainingCanHold(count, sizeof(Element), *this)) {
      internal::ReportInvalidRead();
      return EncodableValue(Block());
    }
    Block block(count, Element{});
    stream_->ReadBytes(reinterpret_cast<uint8_t*>(block.data()),
                       count * sizeof(Element));
    return EncodableValue(std::move(block));
  }

  EncodableValue ReadNested() { return serializer_.ReadValue(stream_); }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamReader* stream_;
};

template <typename Reader>
EncodableValue ReadPayload(uint8_t type, Reader& in);

// One level deeper for its lifetime.
class DepthStep {
 public:
  explicit DepthStep(int* depth) : depth_(depth) { ++*depth_; }
  ~DepthStep() { --*depth_; }
  DepthStep(const DepthStep&) = delete;
  DepthStep& operator=(const DepthStep&) = delete;

 private:
  int* depth_;
};

// Straight from a ByteBufferStreamReader's range, for the standard
// serializer only. The nesting depth is taken from the thread once, when the
// top-level read starts, and carried along from then on.
class BufferReader {
 public:
  BufferReader(ByteBufferStreamReader* stream, int depth)
      : cursor_(stream), depth_(depth) {}

  uint8_t ReadByte() { return cursor_.ReadByte(); }
  void ReadBytes(uint8_t* destination, size_t count) {
    cursor_.ReadBytes(destination, count);
  }
  void SkipPadding(uint8_t alignment) { cursor_.SkipPadding(alignment); }
  size_t Remaining() const { return cursor_.Remaining(); }

  // As StreamReader's, with one bound check, and built in place straight
  // from the input range where the elements' alignment allows (a vector's
  // range constructor copies trivially copyable elements as one block).
  template <typename Block>
  EncodableValue ReadElements(size_t count) {
    using Element = typename Block::value_type;
    const uint8_t* first = cursor_.Take(count, sizeof(Element));
    if (first == nullptr) {
      // Refused and reported, or empty at a null range.
      return EncodableValue(Block());
    }
    if (reinterpret_cast<uintptr_t>(first) % alignof(Element) == 0) {
      const auto* elements = reinterpret_cast<const Element*>(first);
      return EncodableValue(std::in_place_type<Block>, elements,
                            elements + count);
    }
    Block block(count, Element{});
    if (count != 0) {
      std::memcpy(block.data(), first, count * sizeof(Element));
    }
    return EncodableValue(std::move(block));
  }

  // The tag is consumed even when refused, so that every refusal moves the
  // reader on and a run of them stays linear in the input. The payload is
  // returned as it is built, never moved.
  EncodableValue ReadNested() {
    const uint8_t type = cursor_.ReadByte();
    if (depth_ >= kMaxReadDepth) {
      internal::ReportNestingTooDeep(kMaxReadDepth);
      return EncodableValue();
    }
    const DepthStep step(&depth_);
    return ReadPayload(type, *this);
  }

 private:
  internal::BufferCursor cursor_;
  int depth_;
};

template <typename T, typename Reader>
T ReadNumber(Reader& in) {
  T number{};
  in.ReadBytes(reinterpret_cast<uint8_t*>(&number), sizeof(number));
  return number;
}

template <typename T, typename Writer>
void WriteNumber(T number, Writer& out) {
  out.WriteBytes(reinterpret_cast<const uint8_t*>(&number), sizeof(number));
}

template <typename Reader>
size_t ReadLongSize(uint8_t first, Reader& in) {
  if (first == kSize16) {
    return ReadNumber<uint16_t>(in);
  }
  return ReadNumber<uint32_t>(in);
}

// Most sizes take the one-byte form: that case stays small enough to inline.
template <typename Reader>
size_t ReadSizeField(Reader& in) {
  const uint8_t first = in.ReadByte();
  return first < kSize16 ? first : ReadLongSize(first, in);
}

// size must fit kMaxSize.
template <typename Writer>
void WriteSizeField(size_t size, Writer& out) {
  if (size < kSize16) {
    out.WriteByte(static_cast<uint8_t>(size));
  } else if (size <= std::numeric_limits<uint16_t>::max()) {
    out.WriteByte(kSize16);
    WriteNumber(static_cast<uint16_t>(size), out);
  } else {
    out.WriteByte(kSize32);
    WriteNumber(static_cast<uint32_t>(size), out);
  }
}

// A container whose count the size field cannot carry is replaced by null,
// so the message stays well formed; returns whether the tag was written.
template <typename Writer>
bool WriteTagAndLongSize(Tag tag, size_t size, Writer& out) {
  if (size > kMaxSize) {
    internal::ReportOversizedSize(size);
    out.WriteByte(kNull);
    return false;
  }
  out.WriteByte(tag);
  WriteSizeField(size, out);
  return true;
}

// Most counts fit the one-byte form: that case stays small enough to inline.
template <typename Writer>
bool WriteTagAndSize(Tag tag, size_t size, Writer& out) {
  if (size >= kSize16) {
    return WriteTagAndLongSize(tag, size, out);
  }
  out.WriteByte(tag);
  out.WriteByte(static_cast<uint8_t>(size));
  return true;
}

// Strings and numeric vectors: the count, padding to the element width, then
// every element in one block.
template <typename Block, typename Writer>
void WriteBlock(Tag tag, const Block& block, Writer& out) {
  using Element = typename Block::value_type;
  if (!WriteTagAndSize(tag, block.size(), out)) {
    return;
  }
  if constexpr (Alignment<Element>() != 0) {
    out.template WritePadding<Alignment<Element>()>();
  }
  if (!block.empty()) {
    out.WriteBytes(reinterpret_cast<const uint8_t*>(block.data()),
                   block.size() * sizeof(Element));
  }
}

template <typename Writer>
void WriteEncoded(const EncodableValue& value, Writer& out) {
  switch (value.index()) {
    case 0:
      out.WriteByte(kNull);
      return;
    case 1:
      out.WriteByte(As<bool>(value) ? kTrue : kFalse);
      return;
    case 2:
      out.WriteByte(kInt32);
      WriteNumber(As<int32_t>(value), out);
      return;
    case 3:
      out.WriteByte(kInt64);
      WriteNumber(As<int64_t>(value), out);
      return;
    case 4:
      out.WriteByte(kFloat64);
      out.template WritePadding<8>();
      WriteNumber(As<double>(value), out);
      return;
    case 5:
      WriteBlock(kString, As<std::string>(value), out);
      return;
    case 6:
      WriteBlock(kUInt8List, As<std::vector<uint8_t>>(value), out);
      return;
    case 7:
      WriteBlock(kInt32List, As<std::vector<int32_t>>(value), out);
      return;
    case 8:
      WriteBlock(kInt64List, As<std::vector<int64_t>>(value), out);
      return;
    case 9:
      WriteBlock(kFloat64List, As<std::vector<double>>(value), out);
      return;
    case 10: {
      const auto& list = As<EncodableList>(value);
      if (WriteTagAndSize(kList, list.size(), out)) {
        // Every element takes at least its tag.
        out.Expect(list.size());
        for (const EncodableValue& element : list) {
          out.WriteNested(element);
        }
      }
      return;
    }
    case 11: {
      const auto& map = As<EncodableMap>(value);
      if (WriteTagAndSize(kMap, map.size(), out)) {
        // Every entry takes at least a key tag and a value tag.
        out.Expect(2 * map.size());
        for (const auto& [key, mapped] : map) {
          out.WriteNested(key);
          out.WriteNested(mapped);
        }
      }
      return;
    }
    case 12:
      out.WriteByte(kNull);
      internal::ReportUnhandledCustomType();
      return;
    case 13:
      WriteBlock(kFloat32List, As<std::vector<float>>(value), out);
      return;
  }
}

template <typename Block, typename Reader>
EncodableValue ReadBlock(Reader& in) {
  using Element = typename Block::value_type;
  const size_t count = ReadSizeField(in);
  if constexpr (Alignment<Element>() != 0) {
    in.SkipPadding(Alignment<Element>());
  }
  return in.template ReadElements<Block>(count);
}

// The next value of a reader, read where it is converted: a list element or
// a map entry is read straight into its place, instead of being moved there.
template <typename Reader>
class NextValue {
 public:
  explicit NextValue(Reader& in) : in_(in) {}
  operator EncodableValue() const { return in_.ReadNested(); }

 private:
  Reader& in_;
};

// Every element takes at least its tag byte.
template <typename Reader>
EncodableValue ReadList(size_t count, Reader& in) {
  EncodableList list;
  for (size_t i = 0; i < count; ++i) {
    if (!RemainingCanHold(count - i, 1, in)) {
      internal::ReportInvalidRead();
      return EncodableList();
    }
    if (i == 0) {
      list.reserve(count);
    }
    list.emplace_back(NextValue<Reader>(in));
  }
  return EncodableValue(std::move(list));
}

// Every entry takes at least a key tag and a value tag.
template <typename Reader>
EncodableValue ReadMap(size_t count, Reader& in) {
  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    if (!RemainingCanHold(count - i, 2, in)) {
      internal::ReportInvalidRead();
      return EncodableMap();
    }
    // A pair builds its key first, so the key is read before the value. An
    // equivalent key already present keeps its first value.
    const NextValue<Reader> next(in);
    map.emplace_hint(map.end(), std::piecewise_construct,
                     std::forward_as_tuple(next), std::forward_as_tuple(next));
  }
  return EncodableValue(std::move(map));
}

template <typename Reader>
EncodableValue ReadPayload(uint8_t type, Reader& in) {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(in));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(in));
    case kFloat64:
      in.SkipPadding(8);
      return EncodableValue(ReadNumber<double>(in));
    case kAltString:
    case kString:
      return ReadBlock<std::string>(in);
    case kUInt8List:
      return ReadBlock<std::vector<uint8_t>>(in);
    case kInt32List:
      return ReadBlock<std::vector<int32_t>>(in);
    case kInt64List:
      return ReadBlock<std::vector<int64_t>>(in);
    case kFloat64List:
      return ReadBlock<std::vector<double>>(in);
    case kFloat32List:
      return ReadBlock<std::vector<float>>(in);
    case kList:
      return ReadList(ReadSizeField(in), in);
    case kMap:
      return ReadMap(ReadSizeField(in), in);
    default:
      internal::ReportUnknownType(type);
      return EncodableValue();
  }
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(
    ByteStreamReader* stream) const {
  if (IsExactly<StandardCodecSerializer>(*this) &&
      IsExactly<ByteBufferStreamReader>(*stream)) {
    BufferReader reader(static_cast<ByteBufferStreamReader*>(stream),
                        read_depth);
    return reader.ReadNested();
  }
  const uint8_t type = stream->ReadByte();
  // As in BufferReader::ReadNested: the tag is consumed even when refused.
  if (read_depth >= kMaxReadDepth) {
    internal::ReportNestingTooDeep(kMaxReadDepth);
    return EncodableValue();
  }
  const ReadDepthScope scope;
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  StreamReader reader(*this, stream);
  return ReadPayload(type, reader);
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  StreamReader reader(*this, stream);
  return ReadSizeField(reader);
}

void StandardCodecSerializer::WriteSize(size_t size,
                                        ByteStreamWriter* stream) const {
  if (size > kMaxSize) {
    internal::ReportOversizedSize(size);
    return;
  }
  StreamWriter writer(*this, stream);
  WriteSizeField(size, writer);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  WriteThrough(*this, stream, [&value](auto& out) { WriteEncoded(value, out); });
}

void StandardCodecSerializer::WriteString(const std::string& text,
                                          ByteStreamWriter* stream) const {
  if (!IsExactly<StandardCodecSerializer>(*this)) {
    WriteValue(EncodableValue(text), stream);
    return;
  }
  WriteThrough(*this, stream,
               [&text](auto& out) { WriteBlock(kString, text, out); });
}

}  // namespace flutter
