#include "encoding/standard_method_codec.h"

#include <map>
#include <mutex>
#include <utility>
#include <variant>

#include "encoding/byte_streams.h"
#include "encoding/codec_diagnostics.h"

namespace flutter {
namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

// Most messages (events, answers to "listen") are a few dozen bytes: one
// allocation up front instead of several small regrowths.
constexpr size_t kInitialCapacity = 64;

std::unique_ptr<std::vector<uint8_t>> NewMessage() {
  auto message = std::make_unique<std::vector<uint8_t>>();
  message->reserve(kInitialCapacity);
  return message;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  // Never destroyed, so that codecs outlive every static that refers to one.
  static auto* const registry =
      new std::map<const StandardCodecSerializer*,
                   std::unique_ptr<StandardMethodCodec>>();
  static std::mutex registry_lock;
  const std::lock_guard<std::mutex> lock(registry_lock);
  auto& codec = (*registry)[serializer];
  if (!codec) {
    codec.reset(new StandardMethodCodec(serializer));
  }
  return *codec;
}

StandardMethodCodec::StandardMethodCodec(
    const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

std::unique_ptr<MethodCall<EncodableValue>>
StandardMethodCodec::DecodeMethodCall(const uint8_t* message,
                                      size_t size) const {
  ByteBufferStreamReader stream(message, size);
  EncodableValue name = serializer_->ReadValue(&stream);
  auto* name_text = std::get_if<std::string>(&name);
  if (name_text == nullptr) {
    internal::ReportInvalidMethodCall();
    return nullptr;
  }
  auto arguments =
      std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  return std::make_unique<MethodCall<EncodableValue>>(std::move(*name_text),
                                                      std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCall(
    const MethodCall<EncodableValue>& call) const {
  auto message = NewMessage();
  ByteBufferStreamWriter stream(message.get());
  serializer_->WriteString(call.method_name(), &stream);
  if (call.arguments() != nullptr) {
    serializer_->WriteValue(*call.arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>>
StandardMethodCodec::EncodeSuccessEnvelope(const EncodableValue* result) const {
  auto message = NewMessage();
  ByteBufferStreamWriter stream(message.get());
  stream.WriteByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer_->WriteValue(*result, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelope(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto message = NewMessage();
  ByteBufferStreamWriter stream(message.get());
  stream.WriteByte(kErrorEnvelope);
  serializer_->WriteString(error_code, &stream);
  if (error_message.empty()) {
    serializer_->WriteValue(EncodableValue(), &stream);
  } else {
    serializer_->WriteString(error_message, &stream);
  }
  if (error_details != nullptr) {
    serializer_->WriteValue(*error_details, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

bool StandardMethodCodec::DecodeResponseEnvelope(
    const uint8_t* response, size_t size,
    MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(response, size);
  switch (stream.ReadByte()) {
    case kSuccessEnvelope: {
      const EncodableValue value = serializer_->ReadValue(&stream);
      result->Success(value.IsNull() ? nullptr : &value);
      return true;
    }
    case kErrorEnvelope: {
      const EncodableValue code = serializer_->ReadValue(&stream);
      const EncodableValue message = serializer_->ReadValue(&stream);
      const EncodableValue details = serializer_->ReadValue(&stream);
      const std::string no_message;
      const std::string* code_text = std::get_if<std::string>(&code);
      const std::string* message_text =
          message.IsNull() ? &no_message : std::get_if<std::string>(&message);
      // The standard library's own exception, with its own text ("bad
      // variant access"), as a checked access to the wrong alternative of a
      // value fails.
      if (code_text == nullptr || message_text == nullptr) {
        throw std::bad_variant_access();
      }
      result->Error(*code_text, *message_text,
                    details.IsNull() ? nullptr : &details);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace flutter
