// What plug-in registration sees of the engine: a registrar per plug-in.
// Implemented by FlutterEngine; platform thread only.
#ifndef RIVELO_ENGINE_PLUGIN_REGISTRY_H_
#define RIVELO_ENGINE_PLUGIN_REGISTRY_H_

#include <string>

#include "engine/flutter_windows.h"

namespace flutter {

class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;
  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // The library's registrar for the named plug-in, or null when there is no
  // engine to register with.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(
      const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_PLUGIN_REGISTRY_H_
