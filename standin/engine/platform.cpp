// The stand-in DLL's Platform of the engine double: what the library's
// functions do on Windows beyond the contract. The engine's side lives in
// engine.cpp, the view's in view_controller.cpp.
#include <cstdio>

#include "standin/double/engine_double.h"
#include "standin/engine/dpi.h"
#include "standin/engine/engine.h"
#include "standin/engine/standin_exports.h"
#include "standin/engine/view_controller.h"

namespace standin {
namespace {

Transcript& TranscriptOf(Engine& engine) { return StandinEngine::Of(engine)->transcript(); }

class WindowsPlatform : public Platform {
 public:
  bool OnEngineCreate(Engine& engine) override {
    engine.attachment = StandinEngine::Create(&engine);
    return engine.attachment != nullptr;
  }

  void OnNextFrameCallbackSet(Engine& engine) override {
    TranscriptOf(engine).Record("next_frame_callback_set");
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

  bool OnWindowMessage(ViewController& controller, UINT message, LRESULT* result) override {
    return StandinView::Of(controller)->HandleTopLevelWindowProc(message, result);
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
    TranscriptOf(engine).Record("set_callback", {{"channel", channel}, {"callback", set}});
  }

  void OnResponse(Engine& engine, uint64_t id, const uint8_t* bytes, size_t size) override {
    StandinEngine::Of(engine)->Respond(id, bytes, size);
  }

  void OnProblem(Engine* engine, Problem kind, const char* function,
                 const std::string& what) override {
    if (engine != nullptr && kind == Problem::kAfterTeardown) {
      TranscriptOf(*engine).Record("after_teardown", {{"call", function}, {"problem", what}});
    }
    std::fprintf(stderr, "flutter_windows (stand-in): %s %s\n", function, what.c_str());
    std::fflush(stderr);
  }

  void OnEngineDestroyed(Engine& engine, const Shutdown& shutdown) override {
    StandinEngine::Of(engine)->ReportShutdown(shutdown);
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
void RiveloStandinRecordPluginRegistration(const char* plugin_name,
                                           FlutterDesktopPluginRegistrarRef registrar) {
  bool live = false;
  standin::Engine* engine = standin::RegistrarEngine(registrar, &live);
  if (engine == nullptr) return;
  const std::string plugin = plugin_name != nullptr ? plugin_name : "";
  standin::TranscriptOf(*engine).Record(
      "plugin_registered",
      {{"plugin", plugin}, {"registrar_matches", live && registrar->name == plugin}});
}
