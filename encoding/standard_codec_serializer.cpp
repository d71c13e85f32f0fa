#include "encoding/standard_codec_serializer.h"

#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <variant>
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

// Whether object is exactly a T, not of a class derived from it.
template <typename T, typename Object>
bool IsExactly(const Object& object) {
  return typeid(object) == typeid(T);
}

// Elements wider than a byte are aligned to their own width.
template <typename Element>
constexpr uint8_t Alignment() {
  return sizeof(Element) > 1 ? static_cast<uint8_t>(sizeof(Element)) : 0;
}

// The codec below is written once, over two ways of reaching the stream.
// Writers offer WriteByte, WriteBytes, WritePadding<alignment>, Expect (room
// for at least so many bytes more) and WriteNested; readers offer ReadByte,
// ReadBytes, SkipPadding, Remaining, nesting, PlaceElements<Block>,
// ReadNested(place) and kBuildsTextKeysInPlace (whether a map's text keys may
// be seen ahead with PeekByte and built in their entry).
//
// A value read is handed to a place: a callable that builds the value where
// it belongs (the list's next element, the map entry, the result) from the
// alternative's type and constructor arguments, as
// place(std::in_place_type<T>, arguments...), or from a whole value,
// place(EncodableValue&&). Decoded values are thereby built once, in place;
// only a map key that is not text, or that comes through the stream
// interface, is built apart and moved into its entry.

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

// Decoding recurses once per nesting level, and crafted input needs only two
// bytes per level: without a cap a message of a few kilobytes exhausts a
// 1 MiB thread stack (Windows' default). Values nested deeper are read as
// null; real messages stay far below.
constexpr int kMaxReadDepth = 512;

// Where a decode stands in the nesting of what it reads. Every list element
// takes at least one byte of input and every map entry two, so while one
// element is read, the levels above it have promised that many bytes of the
// input to the elements they announced after it. Counts are held to the
// input left beyond those promises: otherwise every level of a deep message
// could reserve storage for the same remaining bytes, and a few megabytes of
// input would reserve gigabytes.
struct Nesting {
  int depth = 0;
  size_t promised = 0;
};

// The read that runs on this thread through the stream interface, where
// every level passes through the serializer's overridable operations and
// their parameters carry nothing more. Promises are bytes of one stream: a
// read of another stream, such as a message that a derived serializer finds
// embedded in a value and decodes on a reader of its own, starts with none
// and hands the outer read's back when it ends. Depth is counted across
// streams, as they all share this thread's stack. A direct read takes a copy
// when it starts and carries it from there on.
struct ThreadRead {
  const ByteStreamReader* stream = nullptr;
  Nesting nesting;
};
thread_local ThreadRead thread_read;

// Makes stream the one that thread_read's promises belong to, for the
// lifetime of this object.
class StreamScope {
 public:
  explicit StreamScope(const ByteStreamReader* stream)
      : outer_stream_(thread_read.stream),
        outer_promised_(thread_read.nesting.promised) {
    if (stream != outer_stream_) {
      thread_read.stream = stream;
      thread_read.nesting.promised = 0;
    }
  }
  ~StreamScope() {
    thread_read.stream = outer_stream_;
    thread_read.nesting.promised = outer_promised_;
  }
  StreamScope(const StreamScope&) = delete;
  StreamScope& operator=(const StreamScope&) = delete;

 private:
  const ByteStreamReader* const outer_stream_;
  const size_t outer_promised_;
};

// The bytes that the elements after the one being read still need, promised
// for the lifetime of this object.
class Promise {
 public:
  Promise(Nesting& nesting, size_t bytes) : nesting_(nesting), bytes_(bytes) {
    nesting_.promised += bytes_;
  }
  ~Promise() { nesting_.promised -= bytes_; }
  Promise(const Promise&) = delete;
  Promise& operator=(const Promise&) = delete;

 private:
  Nesting& nesting_;
  const size_t bytes_;
};

class DepthStep {
 public:
  explicit DepthStep(Nesting& nesting) : nesting_(nesting) { ++nesting_.depth; }
  ~DepthStep() { --nesting_.depth; }
  DepthStep(const DepthStep&) = delete;
  DepthStep& operator=(const DepthStep&) = delete;

 private:
  Nesting& nesting_;
};

// The place that returns the value itself, for a result or a map key.
struct NewValue {
  template <typename... Arguments>
  EncodableValue operator()(Arguments&&... arguments) const {
    return EncodableValue(std::forward<Arguments>(arguments)...);
  }
};

// read_payload() one level deeper. Past the depth limit the value is reported
// and read as null without reading its payload: its tag alone is consumed,
// so that every refusal moves the reader on and a run of them stays linear
// in the input.
template <typename Place, typename ReadPayload>
auto ReadOneLevelDeeper(Nesting& nesting, Place& place,
                        ReadPayload read_payload) {
  if (nesting.depth >= kMaxReadDepth) {
    internal::ReportNestingTooDeep(kMaxReadDepth);
    return place(std::in_place_type<std::monostate>);
  }
  const DepthStep step(nesting);
  return read_payload();
}

// Whether the input left, beyond what enclosing levels have promised, can
// still hold `elements` values of at least `min_bytes` each. Lists and maps
// ask before every element, not only before the first: once nested values
// have used up the input, the enclosing counts are proven false, and looping
// on through them would cost time quadratic in the input, one diagnostic
// line per missing element.
template <typename Reader>
bool InputCanHold(size_t elements, size_t min_bytes, Reader& in) {
  const size_t remaining = in.Remaining();
  const size_t promised = in.nesting().promised;
  const size_t free = remaining > promised ? remaining - promised : 0;
  return elements <= free / min_bytes;
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
  Nesting& nesting() { return thread_read.nesting; }
  // Every key passes through the serializer's overridable operations.
  static constexpr bool kBuildsTextKeysInPlace = false;

  // count elements in zeroed storage, filled by one ReadBytes.
  template <typename Block, typename Place>
  auto PlaceElements(size_t count, Place& place) {
    Block block(count, typename Block::value_type{});
    stream_->ReadBytes(reinterpret_cast<uint8_t*>(block.data()),
                       count * sizeof(typename Block::value_type));
    return place(std::in_place_type<Block>, std::move(block));
  }

  template <typename Place>
  auto ReadNested(Place& place) {
    return place(serializer_.ReadValue(stream_));
  }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamReader* stream_;
};

template <typename Reader, typename Place>
auto ReadPayload(uint8_t type, Reader& in, Place& place);

// Iterates over elements stored as bytes that need not be aligned for them,
// each copied out with memcpy: a vector built over this range is filled in
// one pass, as compilers turn the copies into plain unaligned loads.
template <typename Element>
class UnalignedElements {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = Element;
  using difference_type = std::ptrdiff_t;
  using pointer = const Element*;
  using reference = Element;

  explicit UnalignedElements(const uint8_t* at) : at_(at) {}

  Element operator*() const {
    Element element;
    std::memcpy(&element, at_, sizeof(element));
    return element;
  }
  UnalignedElements& operator++() {
    at_ += sizeof(Element);
    return *this;
  }
  difference_type operator-(const UnalignedElements& other) const {
    return (at_ - other.at_) / static_cast<difference_type>(sizeof(Element));
  }
  bool operator==(const UnalignedElements& other) const {
    return at_ == other.at_;
  }
  bool operator!=(const UnalignedElements& other) const {
    return at_ != other.at_;
  }

 private:
  const uint8_t* at_;
};

// Straight from a ByteBufferStreamReader's range, for the standard
// serializer only.
class BufferReader {
 public:
  BufferReader(ByteBufferStreamReader* stream, const Nesting& nesting)
      : cursor_(stream), nesting_(nesting) {}

  uint8_t ReadByte() { return cursor_.ReadByte(); }
  void ReadBytes(uint8_t* destination, size_t count) {
    cursor_.ReadBytes(destination, count);
  }
  void SkipPadding(uint8_t alignment) { cursor_.SkipPadding(alignment); }
  size_t Remaining() const { return cursor_.Remaining(); }
  Nesting& nesting() { return nesting_; }
  static constexpr bool kBuildsTextKeysInPlace = true;
  uint8_t PeekByte() const { return cursor_.PeekByte(); }

  // count elements built straight from the input range, without zero-filling
  // them first: strings and byte vectors from the bytes themselves, wider
  // elements through UnalignedElements.
  template <typename Block, typename Place>
  auto PlaceElements(size_t count, Place& place) {
    using Element = typename Block::value_type;
    const uint8_t* first;
    if (!cursor_.Take(count * sizeof(Element), first)) {
      return place(std::in_place_type<Block>);
    }
    if constexpr (sizeof(Element) == 1) {
      // Character types may alias any bytes.
      const auto* elements = reinterpret_cast<const Element*>(first);
      return place(std::in_place_type<Block>, elements, elements + count);
    } else {
      return place(std::in_place_type<Block>, UnalignedElements<Element>(first),
                   UnalignedElements<Element>(first + count * sizeof(Element)));
    }
  }

  template <typename Place>
  auto ReadNested(Place& place) {
    const uint8_t type = cursor_.ReadByte();
    return ReadOneLevelDeeper(
        nesting_, place, [&] { return ReadPayload(type, *this, place); });
  }

 private:
  internal::BufferCursor cursor_;
  Nesting nesting_;
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
inline size_t ReadSizeField(Reader& in) {
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

// The tag and payload of each alternative, by its type.
template <typename Writer>
class ValueWriter {
 public:
  explicit ValueWriter(Writer& out) : out_(out) {}

  void operator()(std::monostate) const { out_.WriteByte(kNull); }
  void operator()(bool value) const { out_.WriteByte(value ? kTrue : kFalse); }
  void operator()(int32_t value) const {
    out_.WriteByte(kInt32);
    WriteNumber(value, out_);
  }
  void operator()(int64_t value) const {
    out_.WriteByte(kInt64);
    WriteNumber(value, out_);
  }
  void operator()(double value) const {
    out_.WriteByte(kFloat64);
    out_.template WritePadding<8>();
    WriteNumber(value, out_);
  }
  void operator()(const std::string& text) const {
    WriteBlock(kString, text, out_);
  }
  void operator()(const std::vector<uint8_t>& bytes) const {
    WriteBlock(kUInt8List, bytes, out_);
  }
  void operator()(const std::vector<int32_t>& numbers) const {
    WriteBlock(kInt32List, numbers, out_);
  }
  void operator()(const std::vector<int64_t>& numbers) const {
    WriteBlock(kInt64List, numbers, out_);
  }
  void operator()(const std::vector<double>& numbers) const {
    WriteBlock(kFloat64List, numbers, out_);
  }
  void operator()(const std::vector<float>& numbers) const {
    WriteBlock(kFloat32List, numbers, out_);
  }
  void operator()(const EncodableList& list) const {
    if (!WriteTagAndSize(kList, list.size(), out_)) {
      return;
    }
    // Every element takes at least its tag.
    out_.Expect(list.size());
    for (const EncodableValue& element : list) {
      out_.WriteNested(element);
    }
  }
  void operator()(const EncodableMap& map) const {
    if (!WriteTagAndSize(kMap, map.size(), out_)) {
      return;
    }
    // Every entry takes at least a key tag and a value tag.
    out_.Expect(2 * map.size());
    for (const auto& [key, mapped] : map) {
      out_.WriteNested(key);
      out_.WriteNested(mapped);
    }
  }
  void operator()(const CustomEncodableValue&) const {
    out_.WriteByte(kNull);
    internal::ReportUnhandledCustomType();
  }

 private:
  Writer& out_;
};

template <typename Writer>
void WriteEncoded(const EncodableValue& value, Writer& out) {
  std::visit(ValueWriter<Writer>(out),
             static_cast<const EncodableValue::super&>(value));
}

// Strings and numeric vectors: the count, padding to the element width, then
// the elements in one block.
template <typename Block, typename Reader, typename Place>
auto ReadBlock(Reader& in, Place& place) {
  using Element = typename Block::value_type;
  const size_t count = ReadSizeField(in);
  if constexpr (Alignment<Element>() != 0) {
    in.SkipPadding(Alignment<Element>());
  }
  if (!InputCanHold(count, sizeof(Element), in)) {
    internal::ReportInvalidRead();
    return place(std::in_place_type<Block>);
  }
  return in.template PlaceElements<Block>(count, place);
}

// One element, with bytes_after promised to the elements announced after it.
template <typename Reader, typename Place>
auto ReadElement(Reader& in, size_t bytes_after, Place&& place) {
  const Promise promise(in.nesting(), bytes_after);
  return in.ReadNested(place);
}

// Builds every call inside the function it marks inline, where the compiler
// supports it. A map entry is built by one instance of std::map's
// emplace_hint per alternative of its value, and with that many instances
// GCC keeps their node allocation, position search and insertion out of
// line: an eighth of a nested map's decode went to those calls.
#if defined(__GNUC__)
#define RIVELO_INLINE_CALLEES __attribute__((flatten))
#else
#define RIVELO_INLINE_CALLEES
#endif

// The place of a map entry's value, which builds the entry from the
// constructor arguments of its key (a tuple of references) and of its value.
// An equivalent key already present keeps its first value.
template <typename KeyArguments>
auto EntryPlace(EncodableMap& map, KeyArguments&& key) {
  return [&map, &key](auto&&... mapped) RIVELO_INLINE_CALLEES {
    map.emplace_hint(
        map.end(), std::piecewise_construct, std::move(key),
        std::forward_as_tuple(std::forward<decltype(mapped)>(mapped)...));
  };
}

// Where the start and end of a text are handed, for a text key.
struct TextRange {
  const char* first = nullptr;
  const char* last = nullptr;

  void operator()(std::in_place_type_t<std::string>) {}
  void operator()(std::in_place_type_t<std::string>, const char* text_first,
                  const char* text_last) {
    first = text_first;
    last = text_last;
  }
};

// One entry, with later_entries bytes promised to the entries after it.
// Keys are mostly text: where the reader holds the input, a text key is
// built in its entry straight from it, rather than built apart and moved
// there. A key nested too deep takes the general path, which refuses it.
template <typename Reader>
void ReadEntry(Reader& in, size_t later_entries, EncodableMap& map) {
  if constexpr (Reader::kBuildsTextKeysInPlace) {
    const uint8_t tag = in.PeekByte();
    if ((tag == kString || tag == kAltString) &&
        in.nesting().depth < kMaxReadDepth) {
      in.ReadByte();
      TextRange text;
      {
        const Promise promise(in.nesting(), later_entries + 1);
        ReadBlock<std::string>(in, text);
      }
      ReadElement(in, later_entries,
                  EntryPlace(map, std::forward_as_tuple(
                                      std::in_place_type<std::string>,
                                      text.first, text.last)));
      return;
    }
  }
  EncodableValue key = ReadElement(in, later_entries + 1, NewValue());
  ReadElement(in, later_entries,
              EntryPlace(map, std::forward_as_tuple(std::move(key))));
}

// Every element takes at least its tag byte.
template <typename Reader>
EncodableList ReadList(Reader& in) {
  const size_t count = ReadSizeField(in);
  EncodableList list;
  for (size_t i = 0; i < count; ++i) {
    const size_t elements_left = count - i;
    if (!InputCanHold(elements_left, 1, in)) {
      internal::ReportInvalidRead();
      list = EncodableList();
      break;
    }
    if (i == 0) {
      list.reserve(count);
    }
    ReadElement(in, elements_left - 1, [&list](auto&&... element) {
      list.emplace_back(std::forward<decltype(element)>(element)...);
    });
  }
  return list;
}

// Every entry takes at least a key tag and a value tag.
template <typename Reader>
EncodableMap ReadMap(Reader& in) {
  const size_t count = ReadSizeField(in);
  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    const size_t entries_left = count - i;
    if (!InputCanHold(entries_left, 2, in)) {
      internal::ReportInvalidRead();
      map.clear();
      break;
    }
    ReadEntry(in, 2 * (entries_left - 1), map);
  }
  return map;
}

template <typename Reader, typename Place>
auto ReadPayload(uint8_t type, Reader& in, Place& place) {
  switch (type) {
    case kNull:
      return place(std::in_place_type<std::monostate>);
    case kTrue:
      return place(std::in_place_type<bool>, true);
    case kFalse:
      return place(std::in_place_type<bool>, false);
    case kInt32:
      return place(std::in_place_type<int32_t>, ReadNumber<int32_t>(in));
    case kInt64:
      return place(std::in_place_type<int64_t>, ReadNumber<int64_t>(in));
    case kFloat64:
      in.SkipPadding(8);
      return place(std::in_place_type<double>, ReadNumber<double>(in));
    case kAltString:
    case kString:
      return ReadBlock<std::string>(in, place);
    case kUInt8List:
      return ReadBlock<std::vector<uint8_t>>(in, place);
    case kInt32List:
      return ReadBlock<std::vector<int32_t>>(in, place);
    case kInt64List:
      return ReadBlock<std::vector<int64_t>>(in, place);
    case kFloat64List:
      return ReadBlock<std::vector<double>>(in, place);
    case kFloat32List:
      return ReadBlock<std::vector<float>>(in, place);
    case kList:
      return place(std::in_place_type<EncodableList>, ReadList(in));
    case kMap:
      return place(std::in_place_type<EncodableMap>, ReadMap(in));
    default:
      internal::ReportUnknownType(type);
      return place(std::in_place_type<std::monostate>);
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
  NewValue place;
  if (IsExactly<StandardCodecSerializer>(*this) &&
      IsExactly<ByteBufferStreamReader>(*stream)) {
    const Nesting& outer = thread_read.nesting;
    BufferReader reader(
        static_cast<ByteBufferStreamReader*>(stream),
        {outer.depth, stream == thread_read.stream ? outer.promised : 0});
    return reader.ReadNested(place);
  }
  const StreamScope scope(stream);
  const uint8_t type = stream->ReadByte();
  return ReadOneLevelDeeper(thread_read.nesting, place, [&] {
    return ReadValueOfType(type, stream);
  });
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  StreamReader reader(*this, stream);
  NewValue place;
  return ReadPayload(type, reader, place);
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
