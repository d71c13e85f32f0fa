// A tiny Windows program that reports what Wine's network and display layers
// show from inside a simulated LAN, so the harness can be proven before the
// real host exists. It sends nothing over the network: it only asks the name
// service and the adapter table. One "key value" line per fact on stdout.
//
// Built by the harness tests with the mingw-w64 cross compiler (see
// tests/conftest.py). Modes: no argument (name service and adapters),
// --dpi, --window MS, --exit-code N, --hang.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class WinsockSession {
 public:
  WinsockSession() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockSession() {
    if (ok_) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool ok() const { return ok_; }

 private:
  WSADATA data_{};
  bool ok_ = false;
};

struct AddrInfoDeleter {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

int ReportHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name)) != 0) {
    std::printf("error gethostname %d\n", WSAGetLastError());
    return 1;
  }
  std::printf("hostname %s\n", name);

  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* raw = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &raw) != 0) {
    std::printf("error getaddrinfo %d\n", WSAGetLastError());
    return 1;
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> results(raw);
  for (const addrinfo* it = results.get(); it != nullptr; it = it->ai_next) {
    sockaddr_in address;
    std::memcpy(&address, it->ai_addr, sizeof(address));
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    std::printf("resolved %s\n", text);
  }
  return 0;
}

int ReportAdapters() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) {
    std::printf("adapters none\n");
    return 0;
  }
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(first, &size) != NO_ERROR) {
    std::printf("error GetAdaptersInfo\n");
    return 1;
  }
  for (const IP_ADAPTER_INFO* adapter = first; adapter != nullptr; adapter = adapter->Next) {
    for (const IP_ADDR_STRING* ip = &adapter->IpAddressList; ip != nullptr; ip = ip->Next) {
      std::printf("adapter %s %s\n", ip->IpAddress.String, ip->IpMask.String);
    }
  }
  return 0;
}

void ReportDpi() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    std::printf("error GetDC\n");
    return;
  }
  std::printf("dpi %d\n", GetDeviceCaps(screen, LOGPIXELSX));
  ReleaseDC(nullptr, screen);
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      const RECT square{20, 20, 120, 120};
      FillRect(dc, &square, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Shows a red window with a white square, titled "harness probe", for
// `milliseconds`, so that screenshots have something to see.
int ShowWindowFor(UINT milliseconds) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = ProbeWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hbrBackground = CreateSolidBrush(RGB(200, 30, 30));
  window_class.lpszClassName = L"HarnessProbe";
  if (RegisterClassW(&window_class) == 0) return 1;
  HWND window = CreateWindowW(L"HarnessProbe", L"harness probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 400, 300, nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 1;
  SetTimer(window, 1, milliseconds, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
  DeleteObject(window_class.hbrBackground);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--exit-code") == 0) {
    std::fprintf(stderr, "exiting on request\n");
    return std::atoi(argv[2]);
  }
  if (argc > 1 && std::strcmp(argv[1], "--dpi") == 0) {
    ReportDpi();
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "--window") == 0) {
    return ShowWindowFor(static_cast<UINT>(std::atoi(argv[2])));
  }
  if (argc > 1 && std::strcmp(argv[1], "--hang") == 0) {
    Sleep(INFINITE);
  }
  WinsockSession winsock;
  if (!winsock.ok()) {
    std::printf("error WSAStartup\n");
    return 1;
  }
  const int status = ReportHostName() | ReportAdapters();
  std::fflush(stdout);
  return status;
}
