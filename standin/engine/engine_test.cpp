#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
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

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> LinesOfType(const std::vector<std::string>& lines, const char* type) {
  std::vector<std::string> found;
  const std::string needle = std::string("{\"type\":\"") + type + "\"";
  for (const auto& line : lines) {
    if (line.compare(0, needle.size(), needle) == 0) found.push_back(line);
  }
  return found;
}

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

TEST(EngineCreate, FailsWhenTheAssetsFolderIsMissing) {
  const std::string transcript = TempFile("standin_missing_");
  Properties relative(L"no_such_folder_here\\flutter_assets", {"--transcript=" + transcript});
  EXPECT_EQ(FlutterDesktopEngineCreate(&relative.record), nullptr);
  Properties absolute(L"C:\\no\\such\\folder\\flutter_assets", {});
  EXPECT_EQ(FlutterDesktopEngineCreate(&absolute.record), nullptr);
  EXPECT_EQ(FlutterDesktopEngineCreate(nullptr), nullptr);

  const auto lines = LinesOfType(ReadLines(transcript), "engine_properties");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"assets_exists\":false"), std::string::npos);
  EXPECT_NE(lines[0].find("\"result\":\"null\""), std::string::npos);
  DeleteFileA(transcript.c_str());
}

TEST(EngineCreate, ResolvesRelativeAssetsAgainstTheExecutableAndCopiesTheRecord) {
  const AssetsFolder folder(L"standin_assets_" + std::to_wstring(GetCurrentProcessId()));
  const std::string transcript = TempFile("standin_created_");
  // Started from another working directory, the folder must still be found.
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  SetCurrentDirectoryW(temp);
  auto* properties =
      new Properties(folder.relative(), {"--transcript=" + transcript, "", "\xC3\xA9"});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties->record);
  SetCurrentDirectoryW(previous);
  // The record is read during the call only.
  delete properties;
  ASSERT_NE(engine, nullptr);
  EXPECT_NE(FlutterDesktopEngineGetMessenger(engine), nullptr);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));

  const auto lines = LinesOfType(ReadLines(transcript), "engine_properties");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"argc\":3"), std::string::npos);
  EXPECT_NE(lines[0].find("\"argv_hex\":[\""), std::string::npos);
  EXPECT_NE(lines[0].find("\",\"\",\"c3a9\"]"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("\"result\":\"created\""), std::string::npos);
  ASSERT_EQ(LinesOfType(ReadLines(transcript), "shutdown").size(), 1u);
  DeleteFileA(transcript.c_str());
}

TEST(NullHandles, FailSoftly) {
  EXPECT_EQ(FlutterDesktopEngineGetMessenger(nullptr), nullptr);
  EXPECT_FALSE(FlutterDesktopEngineDestroy(nullptr));
  EXPECT_EQ(FlutterDesktopEngineGetPluginRegistrar(nullptr, "PrintingPlugin"), nullptr);
  FlutterDesktopEngineReloadSystemFonts(nullptr);
  FlutterDesktopEngineSetNextFrameCallback(nullptr, nullptr, nullptr);
  EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopViewControllerGetView(nullptr), nullptr);
  FlutterDesktopViewControllerDestroy(nullptr);
  FlutterDesktopViewControllerForceRedraw(nullptr);
  LRESULT result = 17;
  EXPECT_FALSE(
      FlutterDesktopViewControllerHandleTopLevelWindowProc(nullptr, nullptr, WM_CLOSE, 0, 0, &result));
  EXPECT_EQ(result, 17);
  EXPECT_EQ(FlutterDesktopViewGetHWND(nullptr), nullptr);
  const uint8_t byte = 1;
  EXPECT_FALSE(FlutterDesktopMessengerSend(nullptr, "c", &byte, 1));
  EXPECT_FALSE(FlutterDesktopMessengerSendWithReply(nullptr, "c", &byte, 1, nullptr, nullptr));
  FlutterDesktopMessengerSetCallback(nullptr, "c", nullptr, nullptr);
  FlutterDesktopMessengerSendResponse(nullptr, nullptr, &byte, 1);
  EXPECT_EQ(FlutterDesktopMessengerAddRef(nullptr), nullptr);
  FlutterDesktopMessengerRelease(nullptr);
  EXPECT_EQ(FlutterDesktopMessengerLock(nullptr), nullptr);
  FlutterDesktopMessengerUnlock(nullptr);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(nullptr));
}

// --- A running engine in a real top-level window ---------------------------------

struct Session {
  HWND top_level = nullptr;
  FlutterDesktopViewControllerRef controller = nullptr;
  int frames_called = 0;
  DWORD frame_thread = 0;
  std::vector<std::string> received;
  DWORD receive_thread = 0;
};

Session* g_session = nullptr;

LRESULT CALLBACK TopLevelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_session != nullptr && g_session->controller != nullptr) {
    LRESULT result = 0;
    if (FlutterDesktopViewControllerHandleTopLevelWindowProc(g_session->controller, window,
                                                             message, wparam, lparam, &result)) {
      return result;
    }
  }
  if (message == WM_DESTROY) {
    FlutterDesktopViewControllerDestroy(g_session->controller);
    g_session->controller = nullptr;
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void OnMessage(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
               void*) {
  g_session->receive_thread = GetCurrentThreadId();
  g_session->received.emplace_back(reinterpret_cast<const char*>(message->message),
                                   message->message_size);
  const uint8_t answer[] = {0x00, 0x00};
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, answer, 2);
  // The same handle again must be refused.
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, answer, 2);
}

TEST(ViewController, RunsTheScriptOnThePlatformThreadAndClosesWhenDone) {
  const AssetsFolder folder(L"standin_view_" + std::to_wstring(GetCurrentProcessId()));
  const std::string transcript = TempFile("standin_view_");
  Session session;
  g_session = &session;
  Properties properties(folder.relative(),
                        {"--transcript=" + transcript, "--send=test/channel:4142",
                         "--probe-messages", "--quit-when-done=20000", "--bogus"});
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties.record);
  ASSERT_NE(engine, nullptr);
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopMessengerSetCallback(messenger, "test/channel", &OnMessage, nullptr);
  FlutterDesktopEngineSetNextFrameCallback(
      engine,
      [](void* user_data) {
        auto* s = static_cast<Session*>(user_data);
        ++s->frames_called;
        s->frame_thread = GetCurrentThreadId();
        ShowWindow(s->top_level, SW_SHOWNORMAL);
      },
      &session);

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &TopLevelProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"StandinTestTopLevel";
  RegisterClassW(&window_class);
  session.top_level = CreateWindowExW(0, L"StandinTestTopLevel", L"test", WS_OVERLAPPEDWINDOW, 10,
                                      10, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr),
                                      nullptr);
  ASSERT_NE(session.top_level, nullptr);
  session.controller = FlutterDesktopViewControllerCreate(380, 260, engine);
  ASSERT_NE(session.controller, nullptr);
  const HWND view =
      FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(session.controller));
  ASSERT_NE(view, nullptr);
  RECT view_client{};
  GetClientRect(view, &view_client);
  EXPECT_EQ(view_client.right, 380);
  EXPECT_EQ(view_client.bottom, 260);
  SetParent(view, session.top_level);
  FlutterDesktopViewControllerForceRedraw(session.controller);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  g_session = nullptr;
  UnregisterClassW(L"StandinTestTopLevel", GetModuleHandleW(nullptr));

  EXPECT_EQ(session.frames_called, 1);
  EXPECT_EQ(session.frame_thread, GetCurrentThreadId());
  ASSERT_EQ(session.received.size(), 1u);
  EXPECT_EQ(session.received[0], "AB");
  EXPECT_EQ(session.receive_thread, GetCurrentThreadId());

  const auto lines = ReadLines(transcript);
  const auto responses = LinesOfType(lines, "response");
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_NE(responses[0].find("\"accepted\":true"), std::string::npos);
  EXPECT_NE(responses[1].find("\"reason\":\"consumed\""), std::string::npos);
  const auto probes = LinesOfType(lines, "probe");
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_NE(probes[0].find("\"fonts_reloaded\":0"), std::string::npos) << "no font reload here";
  EXPECT_NE(probes[1].find("\"result\":24301"), std::string::npos) << probes[1];
  const auto quits = LinesOfType(lines, "quit");
  ASSERT_EQ(quits.size(), 1u);
  EXPECT_NE(quits[0].find("\"reason\":\"done\""), std::string::npos);
  const auto first = LinesOfType(lines, "first_frame");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NE(first[0].find("\"before\":{") , std::string::npos);
  EXPECT_LT(first[0].find("\"visible\":false"), first[0].find("\"visible\":true")) << first[0];
  const auto arguments = LinesOfType(lines, "argument");
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_NE(arguments[0].find("--bogus"), std::string::npos);
  const auto shutdown = LinesOfType(lines, "shutdown");
  ASSERT_EQ(shutdown.size(), 1u);
  EXPECT_NE(shutdown[0].find("\"outstanding_messenger_refs\":0,\"unanswered\":[]"),
            std::string::npos) << shutdown[0];
  DeleteFileA(transcript.c_str());
}

}  // namespace
