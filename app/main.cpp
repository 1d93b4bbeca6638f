// Entry point of PellumoZarvotek.exe: the application object does the rest.
#include <windows.h>

#include "app/CLoginApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int) {
    // Naming theApp here also links it in from the program's library.
    if (AfxGetApp() != &theApp) return -1;
    return AfxWinMain(hInstance);
}
