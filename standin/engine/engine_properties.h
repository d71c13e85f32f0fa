// What the stand-in engine makes of its properties record: the transcript
// path among the entry-point arguments, the transcript's description of the
// record, and where the assets folder lies. Called on the thread that creates
// the engine.
#ifndef RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
#define RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_

#include <string>

#include "standin/double/properties_copy.h"
#include "standin/engine/json_line.h"

namespace standin {

// The value of --transcript=PATH among the arguments, or empty.
std::string TranscriptPath(const EngineProperties& properties);

// The transcript fields of the engine_properties line.
JsonLine Describe(const EngineProperties& properties);

// A relative path is taken relative to the directory of the executable, not
// the working directory: rivelo passes "data\..." and expects the folder
// beside rivelo.exe whatever directory it was started from.
std::wstring ResolveAgainstExecutable(const std::wstring& path);

bool IsDirectory(const std::wstring& path);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
