#include "standin/engine/engine_properties.h"

#include <windows.h>

namespace standin {
namespace {

const char kTranscriptArgument[] = "--transcript=";

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

std::string TranscriptPath(const EngineProperties& properties) {
  const size_t prefix = sizeof kTranscriptArgument - 1;
  for (const std::string& argument : properties.arguments) {
    if (argument.compare(0, prefix, kTranscriptArgument) == 0) return argument.substr(prefix);
  }
  return std::string();
}

JsonLine Describe(const EngineProperties& p) {
  JsonLine line;
  line.AddWide("assets_path", p.assets_path)
      .AddWide("icu_data_path", p.icu_data_path)
      .AddWide("aot_library_path", p.aot_library_path)
      .Add("entrypoint", p.entrypoint)
      .AddHex("entrypoint_hex", reinterpret_cast<const uint8_t*>(p.entrypoint.data()),
              p.entrypoint.size())
      .Add("entrypoint_null", p.entrypoint_null)
      .Add("argc", static_cast<int64_t>(p.argc))
      .Add("argv_null", p.argv_null)
      .AddHexList("argv_hex", p.arguments)
      .AddTextList("argv", p.arguments)
      .AddRaw("options",
              "[" + std::to_string(p.options[0]) + "," + std::to_string(p.options[1]) + "]");
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
