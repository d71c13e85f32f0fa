// Describes the Dart application the engine is to run: where its assets, ICU
// data and compiled code lie, its entry point and the entry point's
// arguments. A plain copyable value; FlutterEngine reads it only while it is
// constructed.
#ifndef RIVELO_ENGINE_DART_PROJECT_H_
#define RIVELO_ENGINE_DART_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

class DartProject {
 public:
  // The three paths are `path` followed directly by "\flutter_assets",
  // "\icudtl.dat" and "\app.so". The path is taken as given: it is neither
  // resolved nor checked on disk, so a relative path stays relative for the
  // engine library to resolve.
  explicit DartProject(const std::wstring& path);

  // UTF-8 arguments for the Dart entry point, in order.
  void set_dart_entrypoint_arguments(std::vector<std::string> arguments);

  const std::wstring& assets_path() const { return assets_path_; }
  const std::wstring& icu_data_path() const { return icu_data_path_; }
  const std::wstring& aot_library_path() const { return aot_library_path_; }
  // Empty means the application's default entry point.
  const std::string& dart_entrypoint() const { return dart_entrypoint_; }
  const std::vector<std::string>& dart_entrypoint_arguments() const {
    return dart_entrypoint_arguments_;
  }
  int32_t engine_option_1() const { return engine_option_1_; }
  int32_t engine_option_2() const { return engine_option_2_; }

 private:
  std::wstring assets_path_;
  std::wstring icu_data_path_;
  std::wstring aot_library_path_;
  std::string dart_entrypoint_;
  std::vector<std::string> dart_entrypoint_arguments_;
  int32_t engine_option_1_ = 0;
  int32_t engine_option_2_ = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_DART_PROJECT_H_
