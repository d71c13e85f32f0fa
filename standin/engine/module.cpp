#include "standin/engine/module.h"

namespace standin {

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

const wchar_t* EnsureWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW existing{};
  if (GetClassInfoW(ThisModule(), name, &existing)) return name;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ThisModule();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = name;
  RegisterClassW(&window_class);
  return name;
}

}  // namespace standin
