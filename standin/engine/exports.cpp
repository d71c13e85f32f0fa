// The 23 functions of the engine library's C interface. Each turns handles
// into the library's objects and forwards; a null handle fails softly (null,
// false or nothing) instead of crashing.
#include "engine/flutter_windows.h"

#include <cstdio>
#include <memory>

#include "standin/engine/dpi.h"
#include "standin/engine/engine.h"
#include "standin/engine/messenger.h"
#include "standin/engine/view_controller.h"

namespace {

using standin::Engine;
using standin::Messenger;
using standin::ViewController;

Engine* ToEngine(FlutterDesktopEngineRef engine) { return reinterpret_cast<Engine*>(engine); }
Messenger* ToMessenger(FlutterDesktopMessengerRef messenger) {
  return reinterpret_cast<Messenger*>(messenger);
}
FlutterDesktopMessengerRef ToHandle(Messenger* messenger) {
  return reinterpret_cast<FlutterDesktopMessengerRef>(messenger);
}
ViewController* ToController(FlutterDesktopViewControllerRef controller) {
  return reinterpret_cast<ViewController*>(controller);
}

}  // namespace

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties) {
  return reinterpret_cast<FlutterDesktopEngineRef>(Engine::Create(properties).release());
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine != nullptr ? ToHandle(ToEngine(engine)->messenger()) : nullptr;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) return false;
  delete ToEngine(engine);
  return true;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  if (engine == nullptr) return nullptr;
  return reinterpret_cast<FlutterDesktopPluginRegistrarRef>(
      ToEngine(engine)->GetPluginRegistrar(plugin_name));
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine != nullptr) ToEngine(engine)->ReloadSystemFonts();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine != nullptr) ToEngine(engine)->SetNextFrameCallback(callback, user_data);
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int32_t width, int32_t height,
                                                                   FlutterDesktopEngineRef engine) {
  std::unique_ptr<Engine> owned(ToEngine(engine));
  return reinterpret_cast<FlutterDesktopViewControllerRef>(
      ViewController::Create(width, height, std::move(owned)).release());
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  if (controller == nullptr) return nullptr;
  return reinterpret_cast<FlutterDesktopViewRef>(ToController(controller)->view());
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  delete ToController(controller);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr) ToController(controller)->ForceRedraw();
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  if (controller == nullptr) return false;
  return ToController(controller)->HandleTopLevelWindowProc(hwnd, message, wparam, lparam, result);
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view != nullptr ? reinterpret_cast<standin::View*>(view)->window : nullptr;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  if (messenger == nullptr || channel == nullptr) return false;
  return ToMessenger(messenger)->Send(channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel, const uint8_t* message,
                                          size_t message_size, FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  if (messenger == nullptr || channel == nullptr) return false;
  return ToMessenger(messenger)->Send(channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  if (messenger != nullptr && channel != nullptr) {
    ToMessenger(messenger)->SetCallback(channel, callback, user_data);
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  if (messenger != nullptr) ToMessenger(messenger)->SendResponse(handle, data, data_length);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  return messenger != nullptr ? ToHandle(ToMessenger(messenger)->AddRef()) : nullptr;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) ToMessenger(messenger)->Release();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return nullptr;
  ToMessenger(messenger)->Lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) ToMessenger(messenger)->Unlock();
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  return messenger != nullptr && ToMessenger(messenger)->IsAvailable();
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) { return standin::MonitorDpi(monitor); }

// The library writes through the C runtime's stderr, which the executable
// shares and reopens on the console it attaches; flushing is all that is
// left to do here.
void FlutterDesktopResyncOutputStreams(void) {
  std::fflush(stdout);
  std::fflush(stderr);
}
