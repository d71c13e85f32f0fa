// The stand-in DLL's Platform of the engine double: what the 23 functions do
// on Windows beyond the contract. The transcript records each step; the
// engine's side lives in engine.cpp, the view's in view_controller.cpp.
#include <cstdio>

#include "standin/double/engine_double.h"
#include "standin/engine/dpi.h"
#include "standin/engine/engine.h"
#include "standin/engine/standin_exports.h"
#include "standin/engine/view_controller.h"

namespace standin {
namespace {

std::string HandleText(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

Transcript& TranscriptOf(Engine& engine) { return *StandinEngine::Of(engine)->transcript(); }

class WindowsPlatform : public Platform {
 public:
  bool OnEngineCreate(Engine& engine) override {
    engine.attachment = StandinEngine::Create(&engine);
    return engine.attachment != nullptr;
  }

  void OnRegistrar(Engine& engine, const FlutterDesktopPluginRegistrar& registrar) override {
    TranscriptOf(engine).Record("registrar", JsonLine()
                                                 .Add("name", registrar.name)
                                                 .Add("name_hex", JsonLine::Hex(registrar.name))
                                                 .Add("handle", HandleText(&registrar)));
  }

  void OnFontsReloaded(Engine& engine) override {
    TranscriptOf(engine).Record("fonts_reloaded", JsonLine().Add("count", engine.fonts_reloaded));
  }

  void OnNextFrameCallbackSet(Engine& engine, bool replaced) override {
    TranscriptOf(engine).Record("next_frame_callback_set", JsonLine().Add("replaced", replaced));
  }

  bool OnViewControllerCreate(ViewController& controller, int32_t width,
                              int32_t height) override {
    controller.attachment =
        StandinView::Create(width, height, StandinEngine::Of(*controller.engine), &controller.view);
    return controller.attachment != nullptr;
  }

  void OnForceRedraw(ViewController& controller) override {
    TranscriptOf(*controller.engine).Record("redraw");
    StandinView::Of(controller)->RequestFrame();
  }

  bool OnWindowMessage(ViewController& controller, UINT message, WPARAM wparam, LPARAM lparam,
                       LRESULT* result) override {
    return StandinView::Of(controller)->HandleTopLevelWindowProc(message, wparam, lparam, result);
  }

  // The script and the view's window go before the engine.
  void OnViewControllerDestroy(ViewController& controller) override {
    controller.attachment.reset();
  }

  bool OnSend(Engine& engine, int64_t seq, const std::string& channel, const uint8_t* bytes,
              size_t size, bool with_reply) override {
    return StandinEngine::Of(engine)->SendToDart(seq, channel, bytes, size, with_reply);
  }

  void OnSetCallback(Engine& engine, const std::string& channel, bool set) override {
    TranscriptOf(engine).Record("set_callback",
                                JsonLine().Add("channel", channel).Add("callback", set));
  }

  void OnResponse(Engine& engine, uint64_t id, const uint8_t* bytes, size_t size,
                  const char* reason) override {
    StandinEngine::Of(engine)->Respond(id, bytes, size, reason);
  }

  void OnReply(Engine& engine, int64_t seq, bool at_teardown) override {
    TranscriptOf(engine).Record("reply", JsonLine().Add("seq", seq).Add("at_teardown", at_teardown));
  }

  void OnProblem(Engine* engine, Problem kind, const char* function,
                 const std::string& what) override {
    if (engine != nullptr) StandinEngine::Of(*engine)->Report(kind, function, what);
    std::fprintf(stderr, "flutter_windows (stand-in): %s %s\n", function, what.c_str());
    std::fflush(stderr);
  }

  void OnEngineDestroyed(Engine& engine, const Shutdown& shutdown) override {
    StandinEngine::Of(engine)->ReportShutdown(shutdown);
  }

  void OnMessengerReleased(Engine& engine) override {
    const int64_t late = engine.messenger.after_teardown_calls;
    if (late > 0) {
      TranscriptOf(engine).Record("messenger_released",
                                  JsonLine().Add("after_teardown_events", late));
    }
  }

  UINT Dpi(HMONITOR monitor) override { return MonitorDpi(monitor); }

  // The library writes through the C runtime's stderr, which the executable
  // shares and reopens on the console it attaches; flushing is all that is
  // left to do here.
  void ResyncOutputStreams() override {
    std::fflush(stdout);
    std::fflush(stderr);
  }
};

}  // namespace

Platform& ThePlatform() {
  static WindowsPlatform* platform = new WindowsPlatform();
  return *platform;
}

}  // namespace standin

// Written to the transcript of the registrar's engine, or of the newest
// engine when the handle is not a live registrar.
void RiveloStandinRecordPluginRegistration(const char* plugin_name, const char* library_name,
                                           FlutterDesktopPluginRegistrarRef registrar) {
  bool live = false;
  standin::Engine* engine = standin::RegistrarEngine(registrar, &live);
  if (engine == nullptr) return;
  const std::string plugin = plugin_name != nullptr ? plugin_name : "";
  standin::JsonLine fields;
  fields.Add("plugin", plugin)
      .Add("library", library_name != nullptr ? library_name : "")
      .Add("registrar", standin::HandleText(registrar));
  if (live) {
    fields.Add("registrar_name", registrar->name).Add("registrar_matches", registrar->name == plugin);
  } else {
    fields.AddNull("registrar_name").Add("registrar_matches", false);
  }
  standin::TranscriptOf(*engine).Record("plugin_registered", fields);
}
