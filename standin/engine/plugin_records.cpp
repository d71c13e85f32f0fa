#include "standin/engine/plugin_records.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace standin {
namespace {

struct RegistrarEntry {
  std::string name;
  std::weak_ptr<Transcript> transcript;
};

struct Records {
  std::mutex mutex;
  std::map<const void*, RegistrarEntry> registrars;
  std::weak_ptr<Transcript> latest_engine;
};

// Never destroyed: plug-ins may register while the process is shutting down.
Records& TheRecords() {
  static Records* records = new Records();
  return *records;
}

std::string HandleText(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

}  // namespace

void NoteEngineTranscript(const std::shared_ptr<Transcript>& transcript) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.latest_engine = transcript;
}

void RememberRegistrar(const void* registrar, const std::string& name,
                       const std::shared_ptr<Transcript>& transcript) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.registrars[registrar] = RegistrarEntry{name, transcript};
}

void ForgetRegistrar(const void* registrar) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.registrars.erase(registrar);
}

void RecordPluginRegistration(const char* plugin, const char* library, const void* registrar) {
  const std::string plugin_name = plugin != nullptr ? plugin : "";
  JsonLine fields;
  fields.Add("plugin", plugin_name)
      .Add("library", library != nullptr ? library : "")
      .Add("registrar", HandleText(registrar));
  std::shared_ptr<Transcript> transcript;
  {
    Records& records = TheRecords();
    std::lock_guard<std::mutex> lock(records.mutex);
    auto found = records.registrars.find(registrar);
    if (found != records.registrars.end()) {
      fields.Add("registrar_name", found->second.name)
          .Add("registrar_matches", found->second.name == plugin_name);
      transcript = found->second.transcript.lock();
    } else {
      fields.AddNull("registrar_name").Add("registrar_matches", false);
      transcript = records.latest_engine.lock();
    }
  }
  if (transcript) transcript->Record("plugin_registered", fields);
}

}  // namespace standin

void RiveloStandinRecordPluginRegistration(const char* plugin_name, const char* library_name,
                                           FlutterDesktopPluginRegistrarRef registrar) {
  standin::RecordPluginRegistration(plugin_name, library_name, registrar);
}
