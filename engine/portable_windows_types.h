// The few Windows types that the engine library's C interface names, for
// builds that do not target Windows (the host build, where the engine library
// is replaced by the engine double). Sizes and signedness follow 64-bit
// Windows so that code built against this header behaves as it would there.
// Windows builds include <windows.h> instead and never see this file.
#ifndef RIVELO_ENGINE_PORTABLE_WINDOWS_TYPES_H_
#define RIVELO_ENGINE_PORTABLE_WINDOWS_TYPES_H_

#if defined(_WIN32)
#error "Windows builds take these types from <windows.h>"
#endif

#include <stdint.h>

typedef struct HWND__* HWND;
typedef struct HMONITOR__* HMONITOR;
typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

#endif  // RIVELO_ENGINE_PORTABLE_WINDOWS_TYPES_H_
