// A stand-in plug-in: exports the one registration function of the plug-in
// named by RIVELO_PLUGIN_NAME and records, through the stand-in engine
// library, that it ran and which registrar it received. Built once per
// plug-in; called on the platform thread during registration.
#include "engine/flutter_windows.h"
#include "standin/engine/standin_exports.h"

#define RIVELO_STRINGIFY_(text) #text
#define RIVELO_STRINGIFY(text) RIVELO_STRINGIFY_(text)
#define RIVELO_REGISTER_FUNCTION_(name) name##RegisterWithRegistrar
#define RIVELO_REGISTER_FUNCTION(name) RIVELO_REGISTER_FUNCTION_(name)

extern "C" __declspec(dllexport) void RIVELO_REGISTER_FUNCTION(RIVELO_PLUGIN_NAME)(
    FlutterDesktopPluginRegistrarRef registrar) {
  RiveloStandinRecordPluginRegistration(RIVELO_STRINGIFY(RIVELO_PLUGIN_NAME), registrar);
}
