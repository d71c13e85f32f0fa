#include "standin/double/properties_copy.h"

namespace standin {
namespace {

std::wstring WideOrEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

}  // namespace

EngineProperties EngineProperties::CopyFrom(const FlutterDesktopEngineProperties& record) {
  EngineProperties copy;
  copy.assets_path = WideOrEmpty(record.assets_path);
  copy.icu_data_path = WideOrEmpty(record.icu_data_path);
  copy.aot_library_path = WideOrEmpty(record.aot_library_path);
  copy.entrypoint_null = record.dart_entrypoint == nullptr;
  copy.entrypoint = copy.entrypoint_null ? "" : record.dart_entrypoint;
  copy.argc = record.dart_entrypoint_argc;
  copy.reserved = record.reserved;
  copy.argv_null = record.dart_entrypoint_argv == nullptr;
  for (int32_t i = 0; !copy.argv_null && i < record.dart_entrypoint_argc; ++i) {
    const char* argument = record.dart_entrypoint_argv[i];
    copy.arguments.emplace_back(argument != nullptr ? argument : "");
  }
  copy.options[0] = record.engine_option_1;
  copy.options[1] = record.engine_option_2;
  return copy;
}

}  // namespace standin
