#include "support/wine.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vantrel::testing {

bool runningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace vantrel::testing
