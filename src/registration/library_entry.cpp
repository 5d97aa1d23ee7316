// The Windows library entry function. The library keeps no global or
// per-thread state, so no notification needs any work.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
