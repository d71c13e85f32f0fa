#include "shell/com_apartment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Runs `body` on a thread of its own, which starts outside every apartment.
template <typename Body>
HRESULT OnFreshThread(Body body) {
  HRESULT result = E_FAIL;
  std::thread([&] { result = body(); }).join();
  return result;
}

// S_OK outside every apartment, S_FALSE inside a multithreaded one,
// RPC_E_CHANGED_MODE inside a single-threaded one. Leaves the thread as it was.
HRESULT JoinMultithreaded() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(result)) CoUninitialize();
  return result;
}

TEST(ComApartment, UndoesExactlyWhatItsInitialisationCounted) {
  // S_OK: the thread leaves the apartment with the owner.
  EXPECT_EQ(OnFreshThread([] {
              { const ComApartment apartment; }
              return JoinMultithreaded();
            }),
            S_OK);
  // S_FALSE counted too: once the outer initialisation is undone, nothing is left.
  EXPECT_EQ(OnFreshThread([] {
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
              { const ComApartment apartment; }
              CoUninitialize();
              return JoinMultithreaded();
            }),
            S_OK);
  // RPC_E_CHANGED_MODE counted nothing: the outer multithreaded apartment stays.
  EXPECT_EQ(OnFreshThread([] {
              CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              { const ComApartment apartment; }
              const HRESULT result = JoinMultithreaded();
              CoUninitialize();
              return result;
            }),
            S_FALSE);
}

}  // namespace
