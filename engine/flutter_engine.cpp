#include "engine/flutter_engine.h"

#include <iostream>
#include <utility>
#include <vector>

#include "encoding/console_line.h"

namespace flutter {

FlutterEngine::FlutterEngine(const DartProject& project) {
  const std::vector<std::string>& arguments = project.dart_entrypoint_arguments();
  // The record points into the project and into this array; the library
  // reads both during the call only.
  std::vector<const char*> argv;
  argv.reserve(arguments.size());
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  FlutterDesktopEngineProperties properties{};
  properties.assets_path = project.assets_path().c_str();
  properties.icu_data_path = project.icu_data_path().c_str();
  properties.aot_library_path = project.aot_library_path().c_str();
  properties.dart_entrypoint = project.dart_entrypoint().c_str();
  properties.dart_entrypoint_argc = static_cast<int32_t>(argv.size());
  properties.dart_entrypoint_argv = argv.empty() ? nullptr : argv.data();
  properties.engine_option_1 = project.engine_option_1();
  properties.engine_option_2 = project.engine_option_2();

  engine_ = FlutterDesktopEngineCreate(&properties);
  messenger_ =
      std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
}

FlutterEngine::~FlutterEngine() {
  if (engine_ != nullptr && owns_engine_) {
    FlutterDesktopEngineDestroy(engine_);
  }
  engine_ = nullptr;
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(
    const std::string& plugin_name) {
  if (engine_ == nullptr) {
    console_line::WriteLine(std::cerr,
                            "Cannot get plugin registrar on an engine that isn't running; call "
                            "Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

void FlutterEngine::ReloadSystemFonts() { FlutterDesktopEngineReloadSystemFonts(engine_); }

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(engine_, &FlutterEngine::OnNextFrame, this);
}

FlutterDesktopEngineRef FlutterEngine::TransferEngineOwnership() {
  owns_engine_ = false;
  return engine_;
}

void FlutterEngine::OnNextFrame(void* user_data) {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before the call so that the callback may register the next
  // one, and so that a stray second call finds nothing to run.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) {
    callback();
  }
}

}  // namespace flutter
