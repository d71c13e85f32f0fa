// The stand-in library's messenger, through the C interface, with the engine
// gone or going. Its contract books are
// tested on the host through the recording fake, which keeps the same books;
// its platform thread, window and scripted Dart side run in every
// integration test of rivelo.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "engine/flutter_windows.h"

namespace {

std::string TempFile(const char* name) {
  char directory[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  return std::string(directory) + name + std::to_string(GetCurrentProcessId()) + ".jsonl";
}

// The transcript lines of one type.
size_t LinesOfType(const std::string& path, const char* type) {
  std::ifstream file(path);
  const std::string needle = std::string("{\"type\":\"") + type + "\"";
  size_t found = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.compare(0, needle.size(), needle) == 0) ++found;
  }
  return found;
}

// An engine without a view controller: deliveries wait for a platform thread
// that these tests do not need.
class MessengerContract : public ::testing::Test {
 protected:
  MessengerContract() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring assets = path;
    assets.resize(assets.find_last_of(L'\\'));
    const std::string argument = "--transcript=" + transcript_;
    const char* argv[] = {argument.c_str()};
    FlutterDesktopEngineProperties properties{};
    properties.assets_path = assets.c_str();
    properties.dart_entrypoint = "";
    properties.dart_entrypoint_argc = 1;
    properties.dart_entrypoint_argv = argv;
    engine_ = FlutterDesktopEngineCreate(&properties);
    messenger_ = FlutterDesktopEngineGetMessenger(engine_);
  }
  ~MessengerContract() override { DeleteFileA(transcript_.c_str()); }

  const std::string transcript_ = TempFile("standin_messenger_");
  FlutterDesktopEngineRef engine_;
  FlutterDesktopMessengerRef messenger_;
};

// A reference outlives the engine; late calls and a release too many are
// recorded, not crashes.
TEST_F(MessengerContract, AReferenceKeepsTheMessengerAfterTheEngineIsGone) {
  FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger_);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerRelease(held);
  FlutterDesktopMessengerRelease(held);
  FlutterDesktopMessengerAddRef(held);
  FlutterDesktopEngineDestroy(engine_);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  const uint8_t byte = 1;
  EXPECT_FALSE(FlutterDesktopMessengerSend(held, "late", &byte, 1));
  FlutterDesktopMessengerUnlock(FlutterDesktopMessengerLock(held));
  FlutterDesktopMessengerRelease(held);

  EXPECT_EQ(LinesOfType(transcript_, "misuse"), 1u);
  EXPECT_EQ(LinesOfType(transcript_, "after_teardown"), 1u);
  EXPECT_EQ(LinesOfType(transcript_, "messenger_released"), 1u);
}

TEST_F(MessengerContract, APendingReplyRunsExactlyOnceEvenWhenTheEngineGoesFirst) {
  std::atomic<int> calls{0};
  const uint8_t bytes[] = {0x01};
  ASSERT_TRUE(FlutterDesktopMessengerSendWithReply(
      messenger_, "c", bytes, 1,
      [](const uint8_t*, size_t size, void* user_data) {
        EXPECT_EQ(size, 0u);
        ++*static_cast<std::atomic<int>*>(user_data);
      },
      &calls));
  EXPECT_EQ(calls, 0) << "no platform thread has delivered it yet";
  FlutterDesktopEngineDestroy(engine_);
  EXPECT_EQ(calls, 1);
}

TEST_F(MessengerContract, TheEngineIsNotDestroyedWhileTheMessengerIsLocked) {
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
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerRelease(held);
}

}  // namespace
