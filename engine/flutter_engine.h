// The engine library's engine, created from a DartProject, with the binary
// messenger built on it and the plug-in registrars it hands out. In this host
// a FlutterViewController creates it, shares it and hands the library engine
// to the library's view controller, which then runs and destroys it; the
// wrapper keeps using the handle for its messenger, registrars and fonts.
//
// Platform thread only. The messenger it returns lives as long as the
// wrapper.
#ifndef RIVELO_ENGINE_FLUTTER_ENGINE_H_
#define RIVELO_ENGINE_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "engine/binary_messenger.h"
#include "engine/binary_messenger_impl.h"
#include "engine/dart_project.h"
#include "engine/flutter_windows.h"
#include "engine/plugin_registry.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  // Creation failure is not reported here: the handle stays null and the
  // view controller that receives it fails in turn.
  explicit FlutterEngine(const DartProject& project);
  // Destroys the library engine only if ownership was never transferred,
  // then the pending next-frame callback, then the messenger with its
  // channel handlers.
  ~FlutterEngine() override;

  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(
      const std::string& plugin_name) override;

  BinaryMessenger* GetMessenger() { return messenger_.get(); }

  // Called when the system's fonts change.
  void ReloadSystemFonts();

  // Calls `callback` once, on the platform thread, after the next frame. A
  // callback still pending is replaced and destroyed without being called.
  void SetNextFrameCallback(std::function<void()> callback);

  // Hands the library engine to its new owner (the library's view
  // controller); the wrapper will no longer destroy it.
  FlutterDesktopEngineRef TransferEngineOwnership();

 private:
  static void OnNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_FLUTTER_ENGINE_H_
