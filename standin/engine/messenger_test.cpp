// The messenger and the engine behind it, through the library's C interface
// (an engine without a view controller: deliveries wait for a platform
// thread, which these tests do not need).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/flutter_windows.h"

namespace {

class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    assets_ = path;
    assets_ = assets_.substr(0, assets_.find_last_of(L'\\'));
    properties_.assets_path = assets_.c_str();
    properties_.icu_data_path = L"";
    properties_.aot_library_path = L"";
    properties_.dart_entrypoint = "";
    engine_ = FlutterDesktopEngineCreate(&properties_);
    ASSERT_NE(engine_, nullptr);
    messenger_ = FlutterDesktopEngineGetMessenger(engine_);
  }
  void TearDown() override {
    if (engine_ != nullptr) FlutterDesktopEngineDestroy(engine_);
  }

  std::wstring assets_;
  FlutterDesktopEngineProperties properties_{};
  FlutterDesktopEngineRef engine_ = nullptr;
  FlutterDesktopMessengerRef messenger_ = nullptr;
};

TEST_F(EngineFixture, AReferenceKeepsTheMessengerUsableAfterTheEngineIsGone) {
  FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger_);
  EXPECT_EQ(held, messenger_);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopEngineDestroy(engine_);
  engine_ = nullptr;
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  const uint8_t byte = 1;
  EXPECT_FALSE(FlutterDesktopMessengerSend(held, "late", &byte, 1));
  FlutterDesktopMessengerRef token = FlutterDesktopMessengerLock(held);
  EXPECT_EQ(token, held);
  FlutterDesktopMessengerUnlock(token);
  FlutterDesktopMessengerRelease(held);
}

TEST_F(EngineFixture, SendsAreAcceptedFromAnyThreadWhileTheEngineExists) {
  std::atomic<int> accepted{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 8; ++t) {
    senders.emplace_back([&] {
      const uint8_t bytes[] = {0x00, 0x0c};
      for (int i = 0; i < 50; ++i) {
        if (FlutterDesktopMessengerSend(messenger_, "c", bytes, sizeof bytes)) ++accepted;
      }
    });
  }
  for (auto& sender : senders) sender.join();
  EXPECT_EQ(accepted, 400);
}

struct ReplyCount {
  std::atomic<int> calls{0};
  std::atomic<size_t> last_size{99};
};

TEST_F(EngineFixture, APendingReplyRunsExactlyOnceEvenWhenTheEngineGoesFirst) {
  ReplyCount count;
  const uint8_t bytes[] = {0x01};
  ASSERT_TRUE(FlutterDesktopMessengerSendWithReply(
      messenger_, "c", bytes, 1,
      [](const uint8_t*, size_t size, void* user_data) {
        auto* c = static_cast<ReplyCount*>(user_data);
        ++c->calls;
        c->last_size = size;
      },
      &count));
  EXPECT_EQ(count.calls, 0) << "no platform thread has delivered it yet";
  FlutterDesktopEngineDestroy(engine_);
  engine_ = nullptr;
  EXPECT_EQ(count.calls, 1);
  EXPECT_EQ(count.last_size, 0u);
}

TEST_F(EngineFixture, TheEngineIsNotDestroyedWhileTheMessengerIsLocked) {
  FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger_);
  FlutterDesktopMessengerRef token = FlutterDesktopMessengerLock(held);
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    FlutterDesktopEngineDestroy(engine_);
    destroyed = true;
  });
  // Gives the destroyer time to reach the lock; a shorter wait can only let
  // a broken lock go unnoticed, never fail a working one.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerUnlock(token);
  destroyer.join();
  engine_ = nullptr;
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerRelease(held);
}

TEST_F(EngineFixture, RegistrarsAreStablePerName) {
  FlutterDesktopPluginRegistrarRef printing =
      FlutterDesktopEngineGetPluginRegistrar(engine_, "PrintingPlugin");
  EXPECT_NE(printing, nullptr);
  EXPECT_EQ(FlutterDesktopEngineGetPluginRegistrar(engine_, "PrintingPlugin"), printing);
  EXPECT_NE(FlutterDesktopEngineGetPluginRegistrar(engine_, "TrayManagerPlugin"), printing);
}

}  // namespace
