#include "standin/engine/dart_script.h"

#include "encoding/standard_method_codec.h"
#include "standin/engine/window_messages.h"
#include "standin/scan_guard/scan_guard.h"

namespace standin {
namespace {

enum TimerId : UINT_PTR { kCancelTimer = 1, kCloseTimer, kQuitTimeoutTimer, kTickerTimer };

// Elapsed time in the view moves at this rate while a sweep runs.
constexpr UINT kTickerMs = 200;

}  // namespace

DartScript::DartScript(StandinEngine* engine, ViewHost* view, ScriptOptions options)
    : engine_(engine), view_(view), options_(std::move(options)) {
  for (const RejectedArgument& rejected : options_.rejected) {
    engine_->transcript()->Record("argument", JsonLine()
                                                  .Add("hex", JsonLine::Hex(rejected.text))
                                                  .Add("text", rejected.text)
                                                  .Add("reason", rejected.reason));
  }
  engine_->SetDartReceiver(this);
}

DartScript::~DartScript() {
  engine_->SetDartReceiver(nullptr);
  for (UINT_PTR id : {kCancelTimer, kCloseTimer, kQuitTimeoutTimer, kTickerTimer}) {
    engine_->queue().StopTimer(id);
  }
}

void DartScript::OnFirstFrame() {
  if (started_) return;
  started_ = true;
  if (StartsScan()) GuardScan();
  PlatformQueue& queue = engine_->queue();
  for (int i = 0; i < options_.listens; ++i) SendMethodCall("listen");
  if (options_.cancel_after_ms) {
    cancel_pending_ = true;
    queue.StartTimer(kCancelTimer, *options_.cancel_after_ms, [this] {
      cancel_pending_ = false;
      SendMethodCall("cancel");
    }, false);
  }
  for (const RawSend& send : options_.sends) {
    awaited_responses_.insert(engine_->SendToNative(send.channel, send.bytes));
  }
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
    Probe(options_.ProbeMessage());
    // Posted as a key press is: the host's message loop translates it into a
    // WM_CHAR, which reaches the engine like every other message.
    PostMessageW(view_->TopLevelWindow(), WM_KEYDOWN, 'R', 1);
  }
  UpdateTicker();
  CheckDone();
}

// A raw send on the discovery channel may be a "listen" too.
bool DartScript::StartsScan() const {
  if (options_.listens > 0) return true;
  for (const RawSend& send : options_.sends) {
    if (send.channel == kScanChannel) return true;
  }
  return false;
}

// rivelo sweeps the /24 of whatever network it runs in: outside a simulated
// LAN the process ends here, before anything reaches the discovery channel.
void DartScript::GuardScan() {
  const scan_guard::Decision decision = scan_guard::CheckHere();
  engine_->transcript()->Record(
      "scan_guard", JsonLine().Add("allowed", decision.allowed).Add("reason", decision.reason));
  if (decision.allowed) return;
  scan_guard::ReportRefusal("flutter_windows (stand-in)", decision);
  ExitProcess(scan_guard::kRefusedExitCode);
}

void DartScript::SendMethodCall(const char* method) {
  const flutter::MethodCall<flutter::EncodableValue> call(method, nullptr);
  const auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  const uint64_t id = engine_->SendToNative(kScanChannel, *bytes);
  awaited_responses_.insert(id);
  if (std::string(method) == "listen") {
    listen_responses_.insert(id);
    model_.OnListenSent(Now());
  }
}

void DartScript::Probe(UINT message) {
  const HWND top_level = view_->TopLevelWindow();
  const int64_t fonts_before = engine_->fonts_reloaded();
  const LRESULT result = SendMessageW(top_level, message, 0, 0);
  engine_->transcript()->Record(
      "probe", JsonLine()
                   .Add("message", static_cast<int64_t>(message))
                   .Add("name", WindowMessageName(message))
                   .Add("result", static_cast<int64_t>(result))
                   .Add("claimed", options_.Claims(message))
                   .Add("fonts_reloaded", engine_->fonts_reloaded() - fonts_before));
}

void DartScript::OnMessage(const std::string& channel, const std::vector<uint8_t>& bytes) {
  if (channel != kScanChannel) return;
  model_.OnStreamMessage(bytes, Now());
  UpdateTicker();
  view_->RequestFrame();
  CheckDone();
}

void DartScript::OnResponse(uint64_t response_id, const std::vector<uint8_t>& bytes) {
  awaited_responses_.erase(response_id);
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
  const bool done = awaited_responses_.empty() && !cancel_pending_ &&
                    model_.streams_ended() >= model_.streams_started();
  if (done) Quit("done");
}

void DartScript::Quit(const char* reason) {
  if (quit_posted_) return;
  quit_posted_ = true;
  engine_->transcript()->Record("quit",
                                JsonLine()
                                    .Add("reason", reason)
                                    .Add("streams_ended", static_cast<int64_t>(model_.streams_ended()))
                                    .Add("streams_started",
                                         static_cast<int64_t>(model_.streams_started())));
  PostMessageW(view_->TopLevelWindow(), WM_CLOSE, 0, 0);
}

}  // namespace standin
