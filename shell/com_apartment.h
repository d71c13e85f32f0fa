// This thread's place in a single-threaded COM apartment, from construction to
// destruction: the destructor undoes exactly what the constructor's
// CoInitializeEx did. S_OK and S_FALSE (already inside such an apartment) both
// counted one initialisation, which one CoUninitialize undoes; a failure
// (RPC_E_CHANGED_MODE: the thread is in a multithreaded apartment) counted
// nothing, and uninitialising then would take the thread out of an apartment
// that somebody else entered.
//
// Owned on the stack of the thread it belongs to; used by that thread only.
#ifndef RIVELO_SHELL_COM_APARTMENT_H_
#define RIVELO_SHELL_COM_APARTMENT_H_

#include <objbase.h>

class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  const HRESULT result_;
};

#endif  // RIVELO_SHELL_COM_APARTMENT_H_
