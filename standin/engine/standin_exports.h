// Exports of the stand-in engine library that the real engine library does
// not have; only the stand-in plug-ins use them.
#ifndef RIVELO_STANDIN_ENGINE_STANDIN_EXPORTS_H_
#define RIVELO_STANDIN_ENGINE_STANDIN_EXPORTS_H_

#include "engine/flutter_windows.h"

#if defined(__cplusplus)
extern "C" {
#endif

// Records in the transcript that the plug-in plugin_name was registered with
// registrar. Safe from any thread.
FLUTTER_EXPORT void RiveloStandinRecordPluginRegistration(
    const char* plugin_name, FlutterDesktopPluginRegistrarRef registrar);

#if defined(__cplusplus)
}
#endif

#endif  // RIVELO_STANDIN_ENGINE_STANDIN_EXPORTS_H_
