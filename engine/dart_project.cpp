#include "engine/dart_project.h"

#include <utility>

namespace flutter {

DartProject::DartProject(const std::wstring& path)
    : assets_path_(path + L"\\flutter_assets"),
      icu_data_path_(path + L"\\icudtl.dat"),
      aot_library_path_(path + L"\\app.so") {}

void DartProject::set_dart_entrypoint_arguments(std::vector<std::string> arguments) {
  dart_entrypoint_arguments_ = std::move(arguments);
}

}  // namespace flutter
