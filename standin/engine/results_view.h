// Paints what the Dart side has learnt (a ResultsModel) the way a person
// wants to see a sweep: a title, progress as a count and a bar, a grid of the
// 254 host numbers coloured by state, the answering addresses, and the
// elapsed time. Sizes and fonts follow the given DPI. Platform thread only.
#ifndef RIVELO_STANDIN_ENGINE_RESULTS_VIEW_H_
#define RIVELO_STANDIN_ENGINE_RESULTS_VIEW_H_

#include <windows.h>

#include "standin/engine/results_model.h"

namespace standin {

void PaintResults(HDC dc, const RECT& area, UINT dpi, const ResultsModel& model, double now_ms);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_RESULTS_VIEW_H_
