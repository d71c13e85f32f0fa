// The codec's costs: the discovery host event, bulk numeric vectors against
// memcpy of the same bytes, and a nested message against its deep copy and
// two MessagePack peers on the same data, msgpack-c and nlohmann::json. Every
// encode goes through StandardMethodCodec as a success envelope and every
// decode back through DecodeResponseEnvelope, as the channel layer uses them.

#include <benchmark/benchmark.h>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"
#include "encoding/method_result.h"
#include "encoding/standard_codec_serializer.h"
#include "encoding/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

constexpr size_t kBulkBytes = size_t{1} << 20;
constexpr size_t kBulkDoubles = size_t{128} << 10;
constexpr int kNestedMaps = 1000;
constexpr int kTopLevelWrites = 10000;
constexpr size_t kSpareCapacity = size_t{64} << 20;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

// Keeps the decoded value observable without copying it, so that the decode
// cannot be optimised away and the copy is not billed to the codec.
class ObservingResult : public flutter::MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    benchmark::DoNotOptimize(result);
    succeeded_ = result != nullptr;
  }
  void Error(const std::string&, const std::string&, const EncodableValue*) override {
    succeeded_ = false;
  }
  bool succeeded() const { return succeeded_; }

 private:
  bool succeeded_ = false;
};

EncodableValue HostEvent() {
  return EncodableValue(EncodableMap{{EncodableValue("ip"), EncodableValue("192.168.1.5")},
                                     {EncodableValue("success"), EncodableValue(true)}});
}

// The messages are byte containers, or pointers to one.
template <typename Bytes>
const Bytes& Contents(const Bytes& bytes) { return bytes; }
template <typename Bytes>
const Bytes& Contents(const std::unique_ptr<Bytes>& bytes) { return *bytes; }

// Codecs and peers alike: encode() makes one message per iteration.
template <typename Encode>
void MeasureEncode(benchmark::State& state, Encode encode) {
  size_t bytes = 0;
  for (auto _ : state) {
    const auto message = encode();
    bytes = Contents(message).size();
    benchmark::DoNotOptimize(Contents(message).data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// work(source) once per iteration: a decode, or the copy that bounds the bulk figures.
template <typename Source, typename Work>
void MeasureOnSource(benchmark::State& state, const Source& source, Work work) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(work(source));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

void BenchmarkEncode(benchmark::State& state, const EncodableValue& value) {
  MeasureEncode(state, [&] { return Codec().EncodeSuccessEnvelope(&value); });
}

void BenchmarkDecode(benchmark::State& state, const EncodableValue& value) {
  ObservingResult result;
  MeasureOnSource(state, *Codec().EncodeSuccessEnvelope(&value),
                  [&](const std::vector<uint8_t>& m) {
                    return Codec().DecodeResponseEnvelope(m.data(), m.size(), &result);
                  });
  if (!result.succeeded()) {
    state.SkipWithError("the envelope did not decode to a value");
  }
}

BENCHMARK_CAPTURE(BenchmarkEncode, host_event, HostEvent())->Name("HostEvent/Encode");
BENCHMARK_CAPTURE(BenchmarkDecode, host_event, HostEvent())->Name("HostEvent/Decode");

// The built-in writer's cost follows what it writes: many top-level writes
// into one vector against the same writes each into a vector of its own, and
// a write into a cleared vector that kept a large capacity against the same
// write into one that kept only what the event needs.
void HostEventsIntoOneVector(benchmark::State& state) {
  const EncodableValue event = HostEvent();
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    flutter::ByteBufferStreamWriter writer(&bytes);
    for (int i = 0; i < kTopLevelWrites; ++i) {
      StandardCodecSerializer::GetInstance().WriteValue(event, &writer);
    }
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
}

void HostEventsIntoOneVectorEach(benchmark::State& state) {
  const EncodableValue event = HostEvent();
  for (auto _ : state) {
    for (int i = 0; i < kTopLevelWrites; ++i) {
      std::vector<uint8_t> bytes;
      flutter::ByteBufferStreamWriter writer(&bytes);
      StandardCodecSerializer::GetInstance().WriteValue(event, &writer);
      benchmark::DoNotOptimize(bytes.data());
      benchmark::ClobberMemory();
    }
  }
}
BENCHMARK(HostEventsIntoOneVector)->Name("Writes/OneVector");
BENCHMARK(HostEventsIntoOneVectorEach)->Name("Writes/OneVectorEach");

void HostEventAfterClear(benchmark::State& state, size_t capacity) {
  const EncodableValue event = HostEvent();
  std::vector<uint8_t> bytes;
  bytes.reserve(capacity);
  flutter::ByteBufferStreamWriter writer(&bytes);
  for (auto _ : state) {
    bytes.clear();
    StandardCodecSerializer::GetInstance().WriteValue(event, &writer);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK_CAPTURE(HostEventAfterClear, spare, kSpareCapacity)->Name("Writes/SpareCapacity");
BENCHMARK_CAPTURE(HostEventAfterClear, none, 0)->Name("Writes/NoSpareCapacity");

EncodableValue Bytes() {
  std::vector<uint8_t> bytes(kBulkBytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131);
  return EncodableValue(std::move(bytes));
}

EncodableValue Doubles() {
  std::vector<double> doubles(kBulkDoubles);
  for (size_t i = 0; i < doubles.size(); ++i) doubles[i] = static_cast<double>(i) / 4;
  return EncodableValue(std::move(doubles));
}

BENCHMARK_CAPTURE(BenchmarkEncode, bytes, Bytes())->Name("Bytes/Encode");
BENCHMARK_CAPTURE(BenchmarkDecode, bytes, Bytes())->Name("Bytes/Decode");
BENCHMARK_CAPTURE(BenchmarkEncode, doubles, Doubles())->Name("Doubles/Encode");
BENCHMARK_CAPTURE(BenchmarkDecode, doubles, Doubles())->Name("Doubles/Decode");

// The floor for both bulk figures: the same number of bytes copied between
// two buffers that stay allocated.
void Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> source(kBulkBytes, 0x5A);
  std::vector<uint8_t> destination(kBulkBytes);
  MeasureOnSource(state, source, [&](const std::vector<uint8_t>& s) {
    return std::memcpy(destination.data(), s.data(), s.size());
  });
}
BENCHMARK(Memcpy)->Name("Memcpy/1MiB");

// One record of the nested message: five entries of mixed kinds, the same
// for both codecs.
struct Record {
  int32_t id;
  std::string name;
  double load;
  bool online;
  int64_t seen;
};

std::vector<Record> Records() {
  std::vector<Record> records;
  for (int i = 0; i < kNestedMaps; ++i) {
    records.push_back({i, "host-" + std::to_string(i), i * 0.5, i % 3 == 0,
                       int64_t{1} << 40 | i});
  }
  return records;
}

EncodableValue NestedValue() {
  EncodableList list;
  for (const Record& record : Records()) {
    list.emplace_back(EncodableMap{
        {EncodableValue("id"), EncodableValue(record.id)},
        {EncodableValue("name"), EncodableValue(record.name)},
        {EncodableValue("load"), EncodableValue(record.load)},
        {EncodableValue("online"), EncodableValue(record.online)},
        {EncodableValue("seen"), EncodableValue(record.seen)},
    });
  }
  return EncodableValue(std::move(list));
}

BENCHMARK_CAPTURE(BenchmarkEncode, nested, NestedValue())->Name("Nested/Encode");
BENCHMARK_CAPTURE(BenchmarkDecode, nested, NestedValue())->Name("Nested/Decode");

// The decode's floor: a deep copy of the decoded value makes the same
// allocations, constructions and, once observed, destructions without
// reading any input, as a decode frees its value before it returns.
[[gnu::noinline]] size_t NestedCopyOnce(const EncodableValue& value) {
  const EncodableValue copy = value;
  benchmark::DoNotOptimize(&copy);
  return copy.index();
}

void NestedCopy(benchmark::State& state) {
  const EncodableValue value = NestedValue();
  for (auto _ : state) {
    benchmark::DoNotOptimize(NestedCopyOnce(value));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(NestedCopy)->Name("Nested/Copy");

// msgpack-c's counterpart of the value tree is msgpack::object: packing
// walks such a tree and unpacking builds one, as the standard codec does
// with EncodableValue.
msgpack::sbuffer MsgpackNested() {
  msgpack::sbuffer buffer;
  msgpack::packer<msgpack::sbuffer> packer(buffer);
  const std::vector<Record> records = Records();
  packer.pack_array(static_cast<uint32_t>(records.size()));
  for (const Record& record : records) {
    packer.pack_map(5);
    packer.pack(std::string("id")).pack(record.id);
    packer.pack(std::string("name")).pack(record.name);
    packer.pack(std::string("load")).pack(record.load);
    packer.pack(std::string("online")).pack(record.online);
    packer.pack(std::string("seen")).pack(record.seen);
  }
  return buffer;
}

// Each peer's operation is a function of its own, as the codec's are, so
// that scripts/count-instructions.sh can count instructions per call.
[[gnu::noinline]] msgpack::sbuffer MsgpackPackOnce(const msgpack::object& tree) {
  msgpack::sbuffer buffer;
  msgpack::pack(buffer, tree);
  return buffer;
}

// Unpacking includes freeing the tree, as decoding does for the codec.
[[gnu::noinline]] size_t MsgpackUnpackOnce(const msgpack::sbuffer& source) {
  const msgpack::object_handle tree = msgpack::unpack(source.data(), source.size());
  return tree.get().via.array.size;
}

void MsgpackPack(benchmark::State& state) {
  const msgpack::sbuffer source = MsgpackNested();
  const msgpack::object_handle tree = msgpack::unpack(source.data(), source.size());
  MeasureEncode(state, [&] { return MsgpackPackOnce(tree.get()); });
}

void MsgpackUnpack(benchmark::State& state) {
  MeasureOnSource(state, MsgpackNested(),
                  [](const msgpack::sbuffer& s) { return MsgpackUnpackOnce(s); });
}
BENCHMARK(MsgpackPack)->Name("Nested/MsgpackPack");
BENCHMARK(MsgpackUnpack)->Name("Nested/MsgpackUnpack");

// nlohmann::json's tree is the closer match to EncodableValue: objects are
// std::map nodes and strings std::string, so this peer pays for the same
// object model; to_msgpack and from_msgpack are its MessagePack codec.
nlohmann::json NlohmannNested() {
  nlohmann::json records = nlohmann::json::array();
  for (const Record& record : Records()) {
    records.push_back({{"id", record.id},
                       {"name", record.name},
                       {"load", record.load},
                       {"online", record.online},
                       {"seen", record.seen}});
  }
  return records;
}

[[gnu::noinline]] std::vector<uint8_t> NlohmannEncodeOnce(const nlohmann::json& tree) {
  return nlohmann::json::to_msgpack(tree);
}

[[gnu::noinline]] size_t NlohmannDecodeOnce(const std::vector<uint8_t>& source) {
  return nlohmann::json::from_msgpack(source).size();
}

void NlohmannEncode(benchmark::State& state) {
  const nlohmann::json tree = NlohmannNested();
  MeasureEncode(state, [&] { return NlohmannEncodeOnce(tree); });
}

void NlohmannDecode(benchmark::State& state) {
  MeasureOnSource(state, nlohmann::json::to_msgpack(NlohmannNested()),
                  [](const std::vector<uint8_t>& s) { return NlohmannDecodeOnce(s); });
}
BENCHMARK(NlohmannEncode)->Name("Nested/NlohmannEncode");
BENCHMARK(NlohmannDecode)->Name("Nested/NlohmannDecode");

}  // namespace
