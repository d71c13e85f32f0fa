// Shared by the fuzz targets. Malformed input is reported on standard error
// line by line; those lines are not what a fuzz run looks for and would
// dominate its run time.
#ifndef RIVELO_FUZZ_QUIET_DIAGNOSTICS_H_
#define RIVELO_FUZZ_QUIET_DIAGNOSTICS_H_

#include <iostream>

// Idempotent; call at the top of every LLVMFuzzerTestOneInput.
inline void QuietDiagnostics() {
  static const bool quiet = [] {
    std::cerr.setstate(std::ios::badbit);
    return true;
  }();
  static_cast<void>(quiet);
}

#endif  // RIVELO_FUZZ_QUIET_DIAGNOSTICS_H_
