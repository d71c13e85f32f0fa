#include "standin/engine/results_view.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "standin/text/text.h"

namespace standin {
namespace {

constexpr COLORREF kBackground = RGB(250, 250, 252);
constexpr COLORREF kInk = RGB(32, 33, 36);
constexpr COLORREF kMuted = RGB(95, 99, 104);
constexpr COLORREF kUnknown = RGB(225, 227, 230);
constexpr COLORREF kAnswered = RGB(30, 142, 62);
constexpr COLORREF kSilent = RGB(154, 160, 166);
constexpr COLORREF kBarTrack = RGB(218, 220, 224);
constexpr COLORREF kBarFill = RGB(26, 115, 232);
constexpr int kColumns = 16;

// Owns one GDI object for the duration of a paint.
class GdiObject {
 public:
  explicit GdiObject(HGDIOBJ object) : object_(object) {}
  ~GdiObject() {
    if (object_ != nullptr) DeleteObject(object_);
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  HGDIOBJ get() const { return object_; }

 private:
  HGDIOBJ object_;
};

class Painter {
 public:
  Painter(HDC dc, UINT dpi) : dc_(dc), dpi_(dpi) {}

  int Scale(int logical) const { return MulDiv(logical, static_cast<int>(dpi_), 96); }

  HFONT MakeFont(int points, bool bold) const {
    return CreateFontW(-MulDiv(points, static_cast<int>(dpi_), 72), 0, 0, 0,
                       bold ? FW_SEMIBOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Segoe UI");
  }

  void Fill(const RECT& rect, COLORREF colour) const {
    GdiObject brush(CreateSolidBrush(colour));
    FillRect(dc_, &rect, static_cast<HBRUSH>(brush.get()));
  }

  // Draws one line of text at (x, y) and returns its height.
  int Text(int x, int y, const std::string& text, HFONT font, COLORREF colour) const {
    return Draw(RECT{x, y, x, y}, text, font, colour, DT_NOCLIP);
  }

  void CentredText(const RECT& rect, const std::string& text, HFONT font, COLORREF colour) const {
    Draw(rect, text, font, colour, DT_CENTER | DT_VCENTER);
  }

  HDC dc() const { return dc_; }

 private:
  int Draw(RECT box, const std::string& text, HFONT font, COLORREF colour, UINT format) const {
    const HGDIOBJ previous = SelectObject(dc_, font);
    SetTextColor(dc_, colour);
    std::wstring wide = WideFromUtf8(text);
    const int height = DrawTextW(dc_, wide.data(), static_cast<int>(wide.size()), &box,
                                 format | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc_, previous);
    return height;
  }

  HDC dc_;
  UINT dpi_;
};

std::string StatusText(const ResultsModel& model) {
  if (model.listens_sent() == 0) return "Waiting for a scan to be requested";
  if (model.sweeping()) {
    return "Sweeping " + (model.prefix().empty() ? std::string("the subnet") : model.prefix() + "1-254");
  }
  if (model.streams_started() == 0) return "Scan requested, waiting for the answer";
  return "Sweep finished";
}

COLORREF CellColour(HostState state) {
  switch (state) {
    case HostState::kAnswered: return kAnswered;
    case HostState::kSilent: return kSilent;
    case HostState::kUnknown: break;
  }
  return kUnknown;
}

int PaintProgress(const Painter& painter, int x, int y, int width, const ResultsModel& model,
                  double now_ms, HFONT font) {
  char text[128];
  std::snprintf(text, sizeof text, "%d / %d probed, %d answered, %.1f s elapsed", model.probed(),
                ResultsModel::kHosts, model.answered(), model.ElapsedMs(now_ms) / 1000.0);
  y += painter.Text(x, y, text, font, kInk) + painter.Scale(4);
  const RECT track{x, y, x + width, y + painter.Scale(10)};
  painter.Fill(track, kBarTrack);
  RECT fill = track;
  fill.right = x + MulDiv(width, model.probed(), ResultsModel::kHosts);
  painter.Fill(fill, kBarFill);
  return track.bottom;
}

void PaintGrid(const Painter& painter, const RECT& grid, const ResultsModel& model, HFONT font) {
  const int rows = (ResultsModel::kHosts + kColumns - 1) / kColumns;
  const int gap = std::max(1, painter.Scale(2));
  const int width = static_cast<int>(grid.right - grid.left);
  const int height = static_cast<int>(grid.bottom - grid.top);
  const int cell = std::max(2, std::min(width / kColumns, height / rows) - gap);
  const bool numbered = cell >= painter.Scale(18);
  SetBkMode(painter.dc(), TRANSPARENT);
  for (int host = 1; host <= ResultsModel::kHosts; ++host) {
    const int column = (host - 1) % kColumns;
    const int row = (host - 1) / kColumns;
    const RECT rect{grid.left + column * (cell + gap), grid.top + row * (cell + gap),
                    grid.left + column * (cell + gap) + cell, grid.top + row * (cell + gap) + cell};
    const HostState state = model.state(host);
    painter.Fill(rect, CellColour(state));
    if (numbered) {
      painter.CentredText(rect, std::to_string(host), font,
                          state == HostState::kUnknown ? kMuted : RGB(255, 255, 255));
    }
  }
}

void PaintAnswering(const Painter& painter, int x, int y, int bottom, const ResultsModel& model,
                    HFONT heading, HFONT body) {
  const auto addresses = model.AnsweringAddresses();
  y += painter.Text(x, y, "Answered (" + std::to_string(addresses.size()) + ")", heading, kInk) +
       painter.Scale(4);
  for (size_t i = 0; i < addresses.size(); ++i) {
    const int line = painter.Scale(18);
    if (y + 2 * line > bottom && i + 1 < addresses.size()) {
      painter.Text(x, y, "and " + std::to_string(addresses.size() - i) + " more", body, kMuted);
      return;
    }
    y += painter.Text(x, y, addresses[i], body, kAnswered);
  }
}

}  // namespace

void PaintResults(HDC dc, const RECT& area, UINT dpi, const ResultsModel& model, double now_ms) {
  const Painter painter(dc, dpi);
  painter.Fill(area, kBackground);
  SetBkMode(dc, TRANSPARENT);
  GdiObject title_font(painter.MakeFont(16, true));
  GdiObject body_font(painter.MakeFont(10, false));
  GdiObject small_font(painter.MakeFont(7, false));
  const auto title = static_cast<HFONT>(title_font.get());
  const auto body = static_cast<HFONT>(body_font.get());
  const auto small = static_cast<HFONT>(small_font.get());

  const int margin = painter.Scale(16);
  const int x = area.left + margin;
  const int width = std::max(0, static_cast<int>(area.right - area.left) - 2 * margin);
  int y = area.top + margin;
  y += painter.Text(x, y, "rivelo: devices on this network", title, kInk);
  y += painter.Text(x, y, StatusText(model), body, kMuted) + painter.Scale(8);
  y = PaintProgress(painter, x, y, width, model, now_ms, body) + painter.Scale(12);

  const int list_width = std::min(painter.Scale(170), width / 3);
  const RECT grid{x, y, x + width - list_width - margin, area.bottom - margin};
  PaintGrid(painter, grid, model, small);
  PaintAnswering(painter, grid.right + margin, y, area.bottom - margin, model, body, body);
}

}  // namespace standin
