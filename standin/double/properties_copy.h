// The library's own copy of the properties record handed to
// FlutterDesktopEngineCreate, which the caller may free as soon as that call
// returns. A plain value, built on the thread that creates the engine.
#ifndef RIVELO_STANDIN_DOUBLE_PROPERTIES_COPY_H_
#define RIVELO_STANDIN_DOUBLE_PROPERTIES_COPY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/flutter_windows.h"

namespace standin {

struct EngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  // The default entry point is the empty string, not a null pointer.
  bool entrypoint_null = true;
  int32_t argc = 0;
  int32_t reserved = 0;  // at offset 36
  bool argv_null = true;
  std::vector<std::string> arguments;
  int32_t options[2] = {0, 0};

  // Copies everything the record points to; null strings become empty.
  static EngineProperties CopyFrom(const FlutterDesktopEngineProperties& record);
};

}  // namespace standin

#endif  // RIVELO_STANDIN_DOUBLE_PROPERTIES_COPY_H_
