#include "engine/stream_handler_functions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "encoding/encodable_value.h"

namespace flutter {
namespace {

using Handler = StreamHandlerFunctions<EncodableValue>;
using Sink = std::unique_ptr<EventSink<EncodableValue>>;
using Error = std::unique_ptr<StreamHandlerError<EncodableValue>>;

class NullSink : public EventSink<EncodableValue> {
 public:
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&, const EncodableValue*) override {}
  void EndOfStream() override {}
};

TEST(StreamHandlerFunctions, MissingCallablesAnswerWithErrorsAndLeaveTheSink) {
  Handler handler(nullptr, nullptr);
  Sink sink = std::make_unique<NullSink>();

  auto listen_error = handler.OnListen(nullptr, std::move(sink));
  ASSERT_NE(listen_error, nullptr);
  EXPECT_EQ(listen_error->error_code, "error");
  EXPECT_EQ(listen_error->error_message, "No OnListen handler set");
  EXPECT_EQ(listen_error->error_details, nullptr);
  EXPECT_NE(sink, nullptr);

  auto cancel_error = handler.OnCancel(nullptr);
  ASSERT_NE(cancel_error, nullptr);
  EXPECT_EQ(cancel_error->error_code, "error");
  EXPECT_EQ(cancel_error->error_message, "No OnCancel handler set");
  EXPECT_EQ(cancel_error->error_details, nullptr);
}

TEST(StreamHandlerFunctions, CallablesGetTheArgumentsAndTheSinkAndTheirResultIsReturned) {
  const EncodableValue arguments(int32_t{3});
  const EncodableValue* listen_arguments = nullptr;
  const EncodableValue* cancel_arguments = nullptr;
  Sink taken;
  Handler handler(
      [&](const EncodableValue* args, Sink&& events) -> Error {
        listen_arguments = args;
        taken = std::move(events);
        return nullptr;
      },
      [&](const EncodableValue* args) {
        cancel_arguments = args;
        return std::make_unique<StreamHandlerError<EncodableValue>>(
            "code", "message", std::make_unique<EncodableValue>("details"));
      });

  Sink sink = std::make_unique<NullSink>();
  EventSink<EncodableValue>* given = sink.get();
  EXPECT_EQ(handler.OnListen(&arguments, std::move(sink)), nullptr);
  EXPECT_EQ(listen_arguments, &arguments);
  EXPECT_EQ(taken.get(), given);

  auto error = handler.OnCancel(&arguments);
  EXPECT_EQ(cancel_arguments, &arguments);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->error_code, "code");
  EXPECT_EQ(error->error_message, "message");
  ASSERT_NE(error->error_details, nullptr);
  EXPECT_EQ(*error->error_details, EncodableValue("details"));
}

}  // namespace
}  // namespace flutter
