// The codec's diagnostics: one line each on standard error, written whole
// (encoding/console_line.h) and flushed at once. Safe from any thread.

#ifndef RIVELO_ENCODING_CODEC_DIAGNOSTICS_H_
#define RIVELO_ENCODING_CODEC_DIAGNOSTICS_H_

#include <cstddef>
#include <cstdint>

namespace flutter {
namespace internal {

void ReportInvalidRead();
void ReportUnknownType(uint8_t type);
void ReportUnhandledCustomType();
void ReportOversizedSize(size_t size);
void ReportNestingTooDeep(int max_depth);
void ReportInvalidMethodCall();

}  // namespace internal
}  // namespace flutter

#endif  // RIVELO_ENCODING_CODEC_DIAGNOSTICS_H_
