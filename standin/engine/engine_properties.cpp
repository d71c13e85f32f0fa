#include "standin/engine/engine_properties.h"

#include "standin/text/text.h"

namespace standin {
namespace {

// Windows paths are at most 32767 characters long, so one call is enough.
std::wstring ExecutableDirectory() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool IsAbsolute(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return true;
  return !path.empty() && (path[0] == L'\\' || path[0] == L'/');
}

bool IsDirectory(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

Json DescribeProperties(const EngineProperties& p, bool* assets_exist) {
  const std::wstring& assets = p.assets_path;
  const std::wstring resolved =
      assets.empty() || IsAbsolute(assets) ? assets : ExecutableDirectory() + L"\\" + assets;
  *assets_exist = IsDirectory(resolved);
  return {{"assets_path", Utf8FromWide(assets)},
          {"icu_data_path", Utf8FromWide(p.icu_data_path)},
          {"aot_library_path", Utf8FromWide(p.aot_library_path)},
          {"argv", p.arguments},
          {"resolved_assets_path", Utf8FromWide(resolved)},
          {"assets_exists", *assets_exist}};
}

}  // namespace standin
