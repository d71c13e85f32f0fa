#include "shell/plugin_registrant.h"

#include <iterator>

#include "engine/flutter_windows.h"

// Exported by the plug-in libraries, which the loader brings in through the
// import table before any of this runs.
extern "C" {
#define RIVELO_PLUGIN(name) \
  __declspec(dllimport) void name##RegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
RIVELO_PLUGIN(AutoUpdaterWindowsPluginCApi)
RIVELO_PLUGIN(ConnectivityPlusWindowsPlugin)
RIVELO_PLUGIN(FileSelectorWindows)
RIVELO_PLUGIN(OpenDirWindowsPluginCApi)
RIVELO_PLUGIN(PrintingPlugin)
RIVELO_PLUGIN(ScreenRetrieverWindowsPluginCApi)
RIVELO_PLUGIN(TrayManagerPlugin)
RIVELO_PLUGIN(UrlLauncherWindows)
RIVELO_PLUGIN(WindowManagerPlugin)
RIVELO_PLUGIN(WindowsSingleInstancePlugin)
#undef RIVELO_PLUGIN
}

namespace {

struct Plugin {
  const char* registrar_name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef);
};

// Alphabetical by registrar name; each name is its function's name without
// "RegisterWithRegistrar".
#define RIVELO_PLUGIN(name) Plugin{#name, name##RegisterWithRegistrar}
constexpr Plugin kPlugins[] = {
    RIVELO_PLUGIN(AutoUpdaterWindowsPluginCApi),
    RIVELO_PLUGIN(ConnectivityPlusWindowsPlugin),
    RIVELO_PLUGIN(FileSelectorWindows),
    RIVELO_PLUGIN(OpenDirWindowsPluginCApi),
    RIVELO_PLUGIN(PrintingPlugin),
    RIVELO_PLUGIN(ScreenRetrieverWindowsPluginCApi),
    RIVELO_PLUGIN(TrayManagerPlugin),
    RIVELO_PLUGIN(UrlLauncherWindows),
    RIVELO_PLUGIN(WindowManagerPlugin),
    RIVELO_PLUGIN(WindowsSingleInstancePlugin),
};
#undef RIVELO_PLUGIN

}  // namespace

void RegisterPlugins(flutter::PluginRegistry* registry) {
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(registry->GetPluginRegistrar(plugin.registrar_name));
  }
}
