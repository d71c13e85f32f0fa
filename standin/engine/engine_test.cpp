// The stand-in library through its C interface: engine creation and the
// messenger's contract with the engine gone or going. Its contract books are
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
#include <vector>

#include "engine/flutter_windows.h"

namespace {

// Owns a folder beside the test executable, where relative assets paths
// resolve, for one test.
class AssetsFolder {
 public:
  explicit AssetsFolder(const std::wstring& name) : name_(name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full = path;
    full_ = full.substr(0, full.find_last_of(L'\\') + 1) + name_;
    CreateDirectoryW(full_.c_str(), nullptr);
  }
  ~AssetsFolder() { RemoveDirectoryW(full_.c_str()); }
  const std::wstring& relative() const { return name_; }

 private:
  std::wstring name_;
  std::wstring full_;
};

std::string TempFile(const char* name) {
  char directory[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  return std::string(directory) + name + std::to_string(GetCurrentProcessId()) + ".jsonl";
}

// The transcript lines of one type.
std::vector<std::string> LinesOfType(const std::string& path, const char* type) {
  std::ifstream file(path);
  std::vector<std::string> found;
  const std::string needle = std::string("{\"type\":\"") + type + "\"";
  for (std::string line; std::getline(file, line);) {
    if (line.compare(0, needle.size(), needle) == 0) found.push_back(line);
  }
  return found;
}

bool Has(const std::string& line, const char* text) { return line.find(text) != std::string::npos; }

struct Properties {
  std::wstring assets;
  std::vector<std::string> arguments;
  std::vector<const char*> argv;
  FlutterDesktopEngineProperties record{};

  Properties(std::wstring assets_path, std::vector<std::string> args)
      : assets(std::move(assets_path)), arguments(std::move(args)) {
    for (const auto& argument : arguments) argv.push_back(argument.c_str());
    record.assets_path = assets.c_str();
    record.icu_data_path = L"data\\icudtl.dat";
    record.aot_library_path = L"data\\app.so";
    record.dart_entrypoint = "";
    record.dart_entrypoint_argc = static_cast<int32_t>(argv.size());
    record.dart_entrypoint_argv = argv.empty() ? nullptr : argv.data();
  }
};

// Relative assets resolve against the executable's folder, whatever the
// working directory; without the folder there is no engine.
TEST(EngineCreate, NeedsTheAssetsFolderBesideTheExecutable) {
  const AssetsFolder folder(L"standin_assets_" + std::to_wstring(GetCurrentProcessId()));
  const std::string transcript = TempFile("standin_created_");
  EXPECT_EQ(FlutterDesktopEngineCreate(nullptr), nullptr);
  Properties missing(L"C:\\no\\such\\folder\\flutter_assets", {});
  EXPECT_EQ(FlutterDesktopEngineCreate(&missing.record), nullptr);

  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  SetCurrentDirectoryW(temp);
  Properties present(folder.relative(), {"--transcript=" + transcript, "", "\xC3\xA9"});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&present.record);
  SetCurrentDirectoryW(previous);
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));

  const auto lines = LinesOfType(transcript, "engine_properties");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(Has(lines[0], "\"entrypoint_null\":false,\"argc\":3")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\",\"\",\"c3a9\"]")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"result\":\"created\"")) << lines[0];
  DeleteFileA(transcript.c_str());
}

// An engine without a view controller: deliveries wait for a platform thread
// that these tests do not need.
class MessengerContract : public ::testing::Test {
 protected:
  MessengerContract() : properties_(L"", {"--transcript=" + transcript_}) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    properties_.assets = path;
    properties_.assets.resize(properties_.assets.find_last_of(L'\\'));
    properties_.record.assets_path = properties_.assets.c_str();
    engine_ = FlutterDesktopEngineCreate(&properties_.record);
    messenger_ = FlutterDesktopEngineGetMessenger(engine_);
  }
  ~MessengerContract() override { DeleteFileA(transcript_.c_str()); }

  const std::string transcript_ = TempFile("standin_messenger_");
  Properties properties_;
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

  EXPECT_EQ(LinesOfType(transcript_, "misuse").size(), 1u);
  EXPECT_EQ(LinesOfType(transcript_, "after_teardown").size(), 1u);
  EXPECT_EQ(LinesOfType(transcript_, "messenger_released").size(), 1u);
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
