// Hands each of the application's plug-in libraries (shell/plugin_list.h)
// its registrar.
//
// Main thread only, once per running engine: the host window calls it after
// the view controller has started the engine.
#ifndef RIVELO_SHELL_PLUGIN_REGISTRANT_H_
#define RIVELO_SHELL_PLUGIN_REGISTRANT_H_

#include "engine/plugin_registry.h"

// Registers every plug-in, in a fixed order, each with the registrar that
// `registry` hands out for its own name.
void RegisterPlugins(flutter::PluginRegistry* registry);

#endif  // RIVELO_SHELL_PLUGIN_REGISTRANT_H_
