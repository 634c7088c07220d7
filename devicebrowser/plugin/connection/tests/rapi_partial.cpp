// A remote access library that lacks most entries: the plugin must refuse it as a whole.
#include <windows.h>

extern "C" {
HRESULT WINAPI CeRapiUninit() { return S_OK; }
LONG WINAPI CeRegCloseKey(HKEY) { return 0; }
}
