// The engine_properties line of the transcript, and whether the assets folder
// it names exists. A relative path is taken relative to the directory of the
// executable, not the working directory: rivelo passes "data\..." and expects
// the folder beside rivelo.exe whatever directory it was started from. Called
// on the thread that creates the engine.
#ifndef RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
#define RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_

#include "standin/double/properties_copy.h"
#include "standin/engine/transcript.h"

namespace standin {

Json DescribeProperties(const EngineProperties& properties, bool* assets_exist);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
