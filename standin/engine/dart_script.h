// The scripted Dart application the stand-in engine runs: sends the "listen"
// calls the entry-point arguments ask for, follows the discovery stream into
// a ResultsModel, and closes the top-level window when asked to. Before its
// first "listen" it asks the scan guard (standin/scan_guard) and, when
// refused, ends the process with scan_guard::kRefusedExitCode instead.
//
// Owned by the view controller, which detaches it from the engine before it
// goes. Platform thread only: every entry point is called from the engine's
// deliveries, its timers or the view controller.
#ifndef RIVELO_STANDIN_ENGINE_DART_SCRIPT_H_
#define RIVELO_STANDIN_ENGINE_DART_SCRIPT_H_

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "standin/engine/engine.h"
#include "standin/engine/results_model.h"

namespace standin {

// What the script needs of the view it draws in.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  virtual HWND TopLevelWindow() const = 0;
  virtual void RequestFrame() = 0;
};

class DartScript : public DartReceiver {
 public:
  DartScript(StandinEngine* engine, ViewHost* view);
  ~DartScript() override;
  DartScript(const DartScript&) = delete;
  DartScript& operator=(const DartScript&) = delete;

  void OnFirstFrame();
  void OnMessage(const std::string& channel, const std::vector<uint8_t>& bytes) override;
  void OnResponse(uint64_t response_id, const std::vector<uint8_t>& bytes) override;

  const ResultsModel& model() const { return model_; }
  double Now() const { return engine_->transcript().MillisecondsSinceStart(); }

 private:
  void GuardScan();
  void SendListen();
  void Probe(UINT message);
  void CheckDone();
  void Quit(const char* reason);
  void UpdateTicker();

  StandinEngine* const engine_;
  ViewHost* const view_;
  const ScriptOptions& options_;
  ResultsModel model_;
  std::set<uint64_t> listen_responses_;  // not yet received
  bool started_ = false;
  bool quit_posted_ = false;
  bool ticking_ = false;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_DART_SCRIPT_H_
