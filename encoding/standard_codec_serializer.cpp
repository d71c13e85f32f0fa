#include "encoding/standard_codec_serializer.h"

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "encoding/codec_diagnostics.h"

// Numbers and numeric vectors are copied in their in-memory representation,
// which is the wire's little-endian one on every target this builds for.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The standard codec copies numbers as little-endian bytes."
#endif

namespace flutter {
namespace {

// Wire tags. These, the size forms and the padding rules are shared with the
// Dart side and with tests/reference_codec.py: change them together or not
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

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  T number{};
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), sizeof(number));
  return number;
}

template <typename T>
void WriteNumber(T number, ByteStreamWriter* stream) {
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), sizeof(number));
}

size_t ReadSizeField(ByteStreamReader* stream) {
  const uint8_t first = stream->ReadByte();
  if (first < kSize16) {
    return first;
  }
  if (first == kSize16) {
    return ReadNumber<uint16_t>(stream);
  }
  return ReadNumber<uint32_t>(stream);
}

// size must fit kMaxSize.
void WriteSizeField(size_t size, ByteStreamWriter* stream) {
  if (size < kSize16) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= std::numeric_limits<uint16_t>::max()) {
    stream->WriteByte(kSize16);
    WriteNumber(static_cast<uint16_t>(size), stream);
  } else {
    stream->WriteByte(kSize32);
    WriteNumber(static_cast<uint32_t>(size), stream);
  }
}

// Elements wider than a byte are aligned to their own width.
template <typename Element>
constexpr uint8_t Alignment() {
  return sizeof(Element) > 1 ? static_cast<uint8_t>(sizeof(Element)) : 0;
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
  const uint8_t type = stream->ReadByte();
  // The tag is consumed even when refused, so that every refusal moves the
  // reader on and a run of them stays linear in the input.
  if (read_depth >= kMaxReadDepth) {
    internal::ReportNestingTooDeep(kMaxReadDepth);
    return EncodableValue();
  }
  const ReadDepthScope scope;
  return ReadValueOfType(type, stream);
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  return ReadSizeField(stream);
}

void StandardCodecSerializer::WriteSize(size_t size,
                                        ByteStreamWriter* stream) const {
  if (size > kMaxSize) {
    internal::ReportOversizedSize(size);
    return;
  }
  WriteSizeField(size, stream);
}

namespace {

// A container whose count the size field cannot carry is replaced by null,
// so the message stays well formed; returns whether the tag was written.
bool WriteTagAndSize(Tag tag, size_t size, ByteStreamWriter* stream) {
  if (size > kMaxSize) {
    internal::ReportOversizedSize(size);
    stream->WriteByte(kNull);
    return false;
  }
  stream->WriteByte(tag);
  WriteSizeField(size, stream);
  return true;
}

// Strings and numeric vectors: the count, padding to the element width, then
// every element in one block.
template <typename Block>
void WriteBlock(Tag tag, const Block& block, ByteStreamWriter* stream) {
  using Element = typename Block::value_type;
  if (!WriteTagAndSize(tag, block.size(), stream)) {
    return;
  }
  if constexpr (Alignment<Element>() != 0) {
    stream->WritePadding(Alignment<Element>());
  }
  if (!block.empty()) {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(block.data()),
                       block.size() * sizeof(Element));
  }
}

// Whether the input left can still hold `elements` values of at least
// `min_bytes` each. Lists and maps ask before every element, not only before
// the first: once nested values have used up the input, the enclosing counts
// are proven false, and looping on through them would cost time quadratic in
// the input, one diagnostic line per missing element.
bool RemainingCanHold(size_t elements, size_t min_bytes,
                      const ByteStreamReader* stream) {
  return elements <= stream->BytesRemaining() / min_bytes;
}

// A count that the remaining input cannot hold is refused before anything is
// allocated: reported as the invalid read it would end in, and read as empty.
template <typename Block>
EncodableValue ReadBlock(ByteStreamReader* stream) {
  using Element = typename Block::value_type;
  const size_t count = ReadSizeField(stream);
  if constexpr (Alignment<Element>() != 0) {
    stream->SkipPadding(Alignment<Element>());
  }
  if (!RemainingCanHold(count, sizeof(Element), stream)) {
    internal::ReportInvalidRead();
    return Block();
  }
  Block block(count, Element{});
  stream->ReadBytes(reinterpret_cast<uint8_t*>(block.data()),
                    count * sizeof(Element));
  return EncodableValue(std::move(block));
}

// Every element takes at least its tag byte.
EncodableValue ReadList(const StandardCodecSerializer& serializer, size_t count,
                        ByteStreamReader* stream) {
  EncodableList list;
  for (size_t i = 0; i < count; ++i) {
    if (!RemainingCanHold(count - i, 1, stream)) {
      internal::ReportInvalidRead();
      return EncodableList();
    }
    if (i == 0) {
      list.reserve(count);
    }
    list.push_back(serializer.ReadValue(stream));
  }
  return EncodableValue(std::move(list));
}

// Every entry takes at least a key tag and a value tag.
EncodableValue ReadMap(const StandardCodecSerializer& serializer, size_t count,
                       ByteStreamReader* stream) {
  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    if (!RemainingCanHold(count - i, 2, stream)) {
      internal::ReportInvalidRead();
      return EncodableMap();
    }
    EncodableValue key = serializer.ReadValue(stream);
    EncodableValue mapped = serializer.ReadValue(stream);
    // An equivalent key already present keeps its first value.
    map.emplace_hint(map.end(), std::move(key), std::move(mapped));
  }
  return EncodableValue(std::move(map));
}

}  // namespace

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (value.index()) {
    case 0:
      stream->WriteByte(kNull);
      return;
    case 1:
      stream->WriteByte(std::get<bool>(value) ? kTrue : kFalse);
      return;
    case 2:
      stream->WriteByte(kInt32);
      WriteNumber(std::get<int32_t>(value), stream);
      return;
    case 3:
      stream->WriteByte(kInt64);
      WriteNumber(std::get<int64_t>(value), stream);
      return;
    case 4:
      stream->WriteByte(kFloat64);
      stream->WritePadding(8);
      WriteNumber(std::get<double>(value), stream);
      return;
    case 5:
      WriteBlock(kString, std::get<std::string>(value), stream);
      return;
    case 6:
      WriteBlock(kUInt8List, std::get<std::vector<uint8_t>>(value), stream);
      return;
    case 7:
      WriteBlock(kInt32List, std::get<std::vector<int32_t>>(value), stream);
      return;
    case 8:
      WriteBlock(kInt64List, std::get<std::vector<int64_t>>(value), stream);
      return;
    case 9:
      WriteBlock(kFloat64List, std::get<std::vector<double>>(value), stream);
      return;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      if (WriteTagAndSize(kList, list.size(), stream)) {
        for (const EncodableValue& element : list) {
          WriteValue(element, stream);
        }
      }
      return;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      if (WriteTagAndSize(kMap, map.size(), stream)) {
        for (const auto& [key, mapped] : map) {
          WriteValue(key, stream);
          WriteValue(mapped, stream);
        }
      }
      return;
    }
    case 12:
      stream->WriteByte(kNull);
      internal::ReportUnhandledCustomType();
      return;
    case 13:
      WriteBlock(kFloat32List, std::get<std::vector<float>>(value), stream);
      return;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case kFloat64:
      stream->SkipPadding(8);
      return EncodableValue(ReadNumber<double>(stream));
    case kAltString:
    case kString:
      return ReadBlock<std::string>(stream);
    case kUInt8List:
      return ReadBlock<std::vector<uint8_t>>(stream);
    case kInt32List:
      return ReadBlock<std::vector<int32_t>>(stream);
    case kInt64List:
      return ReadBlock<std::vector<int64_t>>(stream);
    case kFloat64List:
      return ReadBlock<std::vector<double>>(stream);
    case kFloat32List:
      return ReadBlock<std::vector<float>>(stream);
    case kList:
      return ReadList(*this, ReadSize(stream), stream);
    case kMap:
      return ReadMap(*this, ReadSize(stream), stream);
    default:
      internal::ReportUnknownType(type);
      return EncodableValue();
  }
}

}  // namespace flutter
