// The C interface of the engine library (flutter_windows.dll): the 23
// functions this host calls, their opaque handle types, callback types and
// the two records whose layout crosses the library boundary.
//
// The real engine library honours it, and so does the engine double in
// standin/double: wrapped by the stand-in DLL (standin/engine) for the demo
// and the Wine runs, and linked into host tests through testing/fake_engine.
// Handles are owned by the library; the comments say which call releases
// what. Unless a function says otherwise it is called on the platform thread
// (the thread running the window message loop), and every callback is made
// on that thread too.
//
// Strings are NUL-terminated: paths are UTF-16 (wchar_t on Windows), channel
// and plug-in names are bytes (UTF-8).
#ifndef RIVELO_ENGINE_FLUTTER_WINDOWS_H_
#define RIVELO_ENGINE_FLUTTER_WINDOWS_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include "engine/portable_windows_types.h"
#endif

#if !defined(__cplusplus)
#include <stdbool.h>
#endif

// The library itself builds with FLUTTER_DESKTOP_LIBRARY defined; everyone
// else imports. Outside Windows there is no DLL boundary to mark.
#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_LIBRARY)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

// Identifies the one response owed to an incoming message; used through a
// pointer, consumed by FlutterDesktopMessengerSendResponse.
typedef struct FlutterDesktopMessageResponseHandleOpaque
    FlutterDesktopMessageResponseHandle;

// Handed to FlutterDesktopEngineCreate, which reads it during the call only.
// Layout is part of the binary interface: 56 bytes, checked below.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  // Never null: an empty string when the default entry point is wanted.
  const char* dart_entrypoint;
  int32_t dart_entrypoint_argc;
  // Must be zero.
  int32_t reserved;
  // dart_entrypoint_argc strings in order; null when the count is 0.
  const char** dart_entrypoint_argv;
  // Passed to the engine unchanged; 0 is the default of each.
  int32_t engine_option_1;
  int32_t engine_option_2;
} FlutterDesktopEngineProperties;

// An incoming message, filled by the library and valid during the callback
// only. Layout is part of the binary interface: 40 bytes, checked below.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  // May be null when the sender expects no response.
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

// Delivers an incoming message on the platform thread.
typedef void (*FlutterDesktopMessageCallback)(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
    void* user_data);

// Receives the response to a message sent with
// FlutterDesktopMessengerSendWithReply; called exactly once.
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size,
                                          void* user_data);

// Called once on the platform thread after the engine's next frame.
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

// --- Engine -----------------------------------------------------------------

// Returns a new engine, or null when it cannot be created.
FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties);

// The engine's messenger; must fail softly (null) for a null engine.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);

// Destroys an engine that no view controller has taken over.
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);

FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine,
                                       const char* plugin_name);

FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(
    FlutterDesktopEngineRef engine);

// At most one registration is pending per engine; a new one replaces it.
FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback,
    void* user_data);

// --- View controller and view -----------------------------------------------

// Takes over the engine (runs it and destroys it with the controller).
// Returns null on failure, including for a null engine.
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int32_t width, int32_t height,
                                   FlutterDesktopEngineRef engine);

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);

// Destroys the controller, its view and the engine it took over.
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);

FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);

// Returns true and sets *result when the library handled the message; a null
// controller handles nothing.
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message,
    WPARAM wparam, LPARAM lparam, LRESULT* result);

// The view's child window.
FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// --- Messenger ----------------------------------------------------------------

// Safe from any thread. The result reports whether the message was accepted.
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel,
                                                const uint8_t* message,
                                                size_t message_size);

// Safe from any thread. True: reply is called exactly once with user_data.
// False: reply is never called.
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel,
    const uint8_t* message, size_t message_size, FlutterDesktopBinaryReply reply,
    void* user_data);

// A null callback unregisters the channel.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(
    FlutterDesktopMessengerRef messenger, const char* channel,
    FlutterDesktopMessageCallback callback, void* user_data);

// Consumes the handle.
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
    size_t data_length);

// Returns the pointer to use from now on, holding one more reference.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);

FLUTTER_EXPORT void FlutterDesktopMessengerRelease(
    FlutterDesktopMessengerRef messenger);

// While locked the engine is not destroyed. Returns a token for
// FlutterDesktopMessengerUnlock; a null token means nothing is to be unlocked.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);

FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(
    FlutterDesktopMessengerRef messenger);

// True while the messenger's engine exists.
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(
    FlutterDesktopMessengerRef messenger);

// --- Process-wide helpers -------------------------------------------------------

// The monitor's DPI; 96 means a scale of 1.
FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);

// Makes the library's output follow a console attached after start-up.
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

#if defined(__cplusplus)
}  // extern "C"
#endif

// The records cross the library boundary: their layout must not drift.
#if defined(__cplusplus)
#define RIVELO_ENGINE_LAYOUT_CHECK(condition) static_assert(condition, #condition)
#else
#define RIVELO_ENGINE_LAYOUT_CHECK(condition) _Static_assert(condition, #condition)
#endif
#if INTPTR_MAX == INT64_MAX
RIVELO_ENGINE_LAYOUT_CHECK(sizeof(FlutterDesktopEngineProperties) == 56);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, assets_path) == 0);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, icu_data_path) == 8);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, aot_library_path) == 16);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, dart_entrypoint) == 24);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argc) == 32);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, reserved) == 36);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argv) == 40);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, engine_option_1) == 48);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopEngineProperties, engine_option_2) == 52);
RIVELO_ENGINE_LAYOUT_CHECK(sizeof(FlutterDesktopMessage) == 40);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopMessage, struct_size) == 0);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopMessage, channel) == 8);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopMessage, message) == 16);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopMessage, message_size) == 24);
RIVELO_ENGINE_LAYOUT_CHECK(offsetof(FlutterDesktopMessage, response_handle) == 32);
#else
#error "The engine library interface is defined for 64-bit targets only"
#endif
#undef RIVELO_ENGINE_LAYOUT_CHECK

#endif  // RIVELO_ENGINE_FLUTTER_WINDOWS_H_
