// A DLL the fake runtime imports but the tests never install beside it, so loading that
// fake fails the way a runtime with missing binaries does.
#include <windows.h>

extern "C" __declspec(dllexport) int QvAbsentDependencyMarker() {
  return 0;
}
