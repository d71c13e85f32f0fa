#include "standin/engine/dart_script.h"

#include "discovery/scan_channel.h"
#include "encoding/standard_method_codec.h"
#include "standin/scan_guard/scan_guard.h"

namespace standin {
namespace {

enum TimerId : UINT_PTR { kCloseTimer = 1, kQuitTimeoutTimer, kTickerTimer };

// Elapsed time in the view moves at this rate while a sweep runs.
constexpr UINT kTickerMs = 200;

}  // namespace

DartScript::DartScript(StandinEngine* engine, ViewHost* view)
    : engine_(engine), view_(view), options_(engine->options()) {
  engine_->SetDartReceiver(this);
}

DartScript::~DartScript() {
  engine_->SetDartReceiver(nullptr);
  for (UINT_PTR id : {kCloseTimer, kQuitTimeoutTimer, kTickerTimer}) {
    engine_->queue().StopTimer(id);
  }
}

void DartScript::OnFirstFrame() {
  if (started_) return;
  started_ = true;
  if (options_.listens > 0) GuardScan();
  for (int i = 0; i < options_.listens; ++i) SendListen();
  PlatformQueue& queue = engine_->queue();
  if (options_.close_after_ms) {
    queue.StartTimer(kCloseTimer, *options_.close_after_ms, [this] { Quit("close_after"); },
                     false);
  }
  if (options_.quit_when_done) {
    queue.StartTimer(kQuitTimeoutTimer, options_.quit_timeout_ms, [this] { Quit("timeout"); },
                     false);
  }
  if (options_.probe_messages) {
    Probe(WM_FONTCHANGE);
    Probe(ScriptOptions::kProbeMessage);
    // Posted as a key press is: the host's message loop translates it into a
    // WM_CHAR, which reaches the engine like every other message.
    PostMessageW(view_->TopLevelWindow(), WM_KEYDOWN, 'R', 1);
  }
  UpdateTicker();
  CheckDone();
}

// rivelo sweeps the /24 of whatever network it runs in: outside a simulated
// LAN the process ends here, before anything reaches the discovery channel.
void DartScript::GuardScan() {
  const scan_guard::Decision decision = scan_guard::CheckHere();
  engine_->transcript().Record("scan_guard",
                               {{"allowed", decision.allowed}, {"reason", decision.reason}});
  if (decision.allowed) return;
  scan_guard::ReportRefusal("flutter_windows (stand-in)", decision);
  ExitProcess(scan_guard::kRefusedExitCode);
}

void DartScript::SendListen() {
  const flutter::MethodCall<flutter::EncodableValue> call("listen", nullptr);
  const auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  listen_responses_.insert(engine_->SendToNative(kScanChannelName, *bytes));
  model_.OnListenSent(Now());
}

void DartScript::Probe(UINT message) {
  const int64_t fonts_before = engine_->fonts_reloaded();
  const LRESULT result = SendMessageW(view_->TopLevelWindow(), message, 0, 0);
  engine_->transcript().Record("probe",
                               {{"message", message},
                                {"result", result},
                                {"claimed", options_.Claims(message)},
                                {"fonts_reloaded", engine_->fonts_reloaded() - fonts_before}});
}

void DartScript::OnMessage(const std::string& channel, const std::vector<uint8_t>& bytes) {
  if (channel != kScanChannelName) return;
  model_.OnStreamMessage(bytes, Now());
  UpdateTicker();
  view_->RequestFrame();
  CheckDone();
}

void DartScript::OnResponse(uint64_t response_id, const std::vector<uint8_t>& bytes) {
  if (listen_responses_.erase(response_id) != 0) {
    model_.OnListenResponse(bytes);
    UpdateTicker();
    view_->RequestFrame();
  }
  CheckDone();
}

// Keeps the elapsed time in the view moving while a stream runs, and only then.
void DartScript::UpdateTicker() {
  const bool sweeping = model_.sweeping();
  if (sweeping == ticking_) return;
  ticking_ = sweeping;
  if (sweeping) {
    engine_->queue().StartTimer(kTickerTimer, kTickerMs, [this] { view_->RequestFrame(); }, true);
  } else {
    engine_->queue().StopTimer(kTickerTimer);
  }
}

void DartScript::CheckDone() {
  if (!options_.quit_when_done || !started_) return;
  if (listen_responses_.empty() && model_.streams_ended() >= model_.streams_started()) {
    Quit("done");
  }
}

void DartScript::Quit(const char* reason) {
  if (quit_posted_) return;
  quit_posted_ = true;
  engine_->transcript().Record("quit", {{"reason", reason}});
  PostMessageW(view_->TopLevelWindow(), WM_CLOSE, 0, 0);
}

}  // namespace standin
