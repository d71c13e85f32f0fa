#include "standin/engine/engine_properties.h"

#include <windows.h>

namespace standin {
namespace {

const char kTranscriptArgument[] = "--transcript=";

std::wstring WideOrEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

std::wstring ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool IsAbsolute(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return true;
  return !path.empty() && (path[0] == L'\\' || path[0] == L'/');
}

}  // namespace

EngineProperties EngineProperties::CopyFrom(const FlutterDesktopEngineProperties& record) {
  EngineProperties copy;
  copy.assets_path = WideOrEmpty(record.assets_path);
  copy.icu_data_path = WideOrEmpty(record.icu_data_path);
  copy.aot_library_path = WideOrEmpty(record.aot_library_path);
  copy.entrypoint = record.dart_entrypoint != nullptr ? record.dart_entrypoint : "";
  copy.argc = record.dart_entrypoint_argc;
  copy.argv_null = record.dart_entrypoint_argv == nullptr;
  if (!copy.argv_null) {
    for (int32_t i = 0; i < record.dart_entrypoint_argc; ++i) {
      const char* argument = record.dart_entrypoint_argv[i];
      copy.arguments.emplace_back(argument != nullptr ? argument : "");
    }
  }
  copy.options[0] = record.engine_option_1;
  copy.options[1] = record.engine_option_2;
  return copy;
}

std::string EngineProperties::TranscriptPath() const {
  const size_t prefix = sizeof kTranscriptArgument - 1;
  for (const std::string& argument : arguments) {
    if (argument.compare(0, prefix, kTranscriptArgument) == 0) return argument.substr(prefix);
  }
  return std::string();
}

JsonLine EngineProperties::Describe() const {
  JsonLine line;
  line.AddWide("assets_path", assets_path)
      .AddWide("icu_data_path", icu_data_path)
      .AddWide("aot_library_path", aot_library_path)
      .Add("entrypoint", entrypoint)
      .AddHex("entrypoint_hex", reinterpret_cast<const uint8_t*>(entrypoint.data()),
              entrypoint.size())
      .Add("argc", static_cast<int64_t>(argc))
      .Add("argv_null", argv_null)
      .AddHexList("argv_hex", arguments)
      .AddTextList("argv", arguments)
      .AddRaw("options",
              "[" + std::to_string(options[0]) + "," + std::to_string(options[1]) + "]");
  return line;
}

std::wstring ResolveAgainstExecutable(const std::wstring& path) {
  if (path.empty() || IsAbsolute(path)) return path;
  return ExecutableDirectory() + L"\\" + path;
}

bool IsDirectory(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace standin
