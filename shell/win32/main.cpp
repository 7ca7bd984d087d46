// Starts the Win32 window: its start-up steps, then its event loop until the
// window is closed.
#include <windows.h>

#include <objbase.h>

#include "Form1Window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // The folder chooser and the open-file dialog need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 1;
    {
        tessaly::win32::Form1Window window;
        if (window.create(instance, show)) {
            exitCode = window.run();
        } else {
            MessageBoxW(nullptr, L"Cannot create the Tessaly window.", L"Tessaly", MB_OK | MB_ICONWARNING);
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
