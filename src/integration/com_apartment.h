#pragma once
// COM on the calling thread for as long as an object lives, for the calls that need it (shell
// links, the WMI query, the shell's program start). The run does not prepare COM up front: only
// the dialogs need OLE, and they prepare it themselves.

#include <objbase.h>

// Initialises COM in a single-threaded apartment and undoes exactly that initialisation. A
// thread that has COM already keeps it as it was: in the same apartment the count goes up and
// back down; in the multithreaded one the call fails, nothing is undone, and COM works there
// all the same.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_))
      CoUninitialize();  // balanced with a successful CoInitializeEx only (S_FALSE too)
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};
