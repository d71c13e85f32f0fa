// The engine's own copy of the properties record handed to
// FlutterDesktopEngineCreate, which may be freed as soon as that call returns.
// A plain value, built and read on the thread that creates the engine.
#ifndef RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
#define RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/flutter_windows.h"
#include "standin/engine/json_line.h"

namespace standin {

struct EngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  int32_t argc = 0;
  bool argv_null = true;
  std::vector<std::string> arguments;
  int32_t options[2] = {0, 0};

  // Copies everything the record points to; null pointers become empty.
  static EngineProperties CopyFrom(const FlutterDesktopEngineProperties& record);

  // The value of --transcript=PATH among the arguments, or empty.
  std::string TranscriptPath() const;

  // The transcript fields of the engine_properties line.
  JsonLine Describe() const;
};

// A relative path is taken relative to the directory of the executable, not
// the working directory: rivelo passes "data\..." and expects the folder
// beside rivelo.exe whatever directory it was started from.
std::wstring ResolveAgainstExecutable(const std::wstring& path);

bool IsDirectory(const std::wstring& path);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_ENGINE_PROPERTIES_H_
