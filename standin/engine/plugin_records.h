// Lets the stand-in plug-ins record their registration in the transcript of
// the engine whose registrar they received.
//
// A process-wide table of live registrars (address -> name and transcript)
// guarded by one mutex; safe from any thread. Engines add their registrars
// as they hand them out and remove them as they go, so a registration with a
// stale or foreign handle is recognised instead of dereferenced.
#ifndef RIVELO_STANDIN_ENGINE_PLUGIN_RECORDS_H_
#define RIVELO_STANDIN_ENGINE_PLUGIN_RECORDS_H_

#include <memory>
#include <string>

#include "engine/flutter_windows.h"
#include "standin/engine/standin_exports.h"
#include "standin/engine/transcript.h"

namespace standin {

void NoteEngineTranscript(const std::shared_ptr<Transcript>& transcript);
void RememberRegistrar(const void* registrar, const std::string& name,
                       const std::shared_ptr<Transcript>& transcript);
void ForgetRegistrar(const void* registrar);

// Writes a plugin_registered line to the registrar's engine transcript, or to
// the most recently created engine's when the handle is not a live registrar.
void RecordPluginRegistration(const char* plugin, const char* library, const void* registrar);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_PLUGIN_RECORDS_H_
