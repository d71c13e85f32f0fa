#include "shell/plugin_registrant.h"

#include "engine/flutter_windows.h"

// Exported by the plug-in libraries, which the loader brings in through the
// import table before any of this runs.
extern "C" {
#define RIVELO_PLUGIN(name, library) \
  __declspec(dllimport) void name##RegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
#include "shell/plugin_list.h"
#undef RIVELO_PLUGIN
}

namespace {

struct Plugin {
  const char* registrar_name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef);
};

constexpr Plugin kPlugins[] = {
#define RIVELO_PLUGIN(name, library) Plugin{#name, name##RegisterWithRegistrar},
#include "shell/plugin_list.h"
#undef RIVELO_PLUGIN
};

}  // namespace

void RegisterPlugins(flutter::PluginRegistry* registry) {
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(registry->GetPluginRegistrar(plugin.registrar_name));
  }
}
