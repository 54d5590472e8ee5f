// The registered message and its posting: the part of the port's window side that needs <windows.h>.
#include <windows.h>

#include "win32/SerialWnd.h"

unsigned CSerialWnd::DefaultComMsg()
{
    static const UINT msg = RegisterWindowMessageW(L"CSerialWnd_DefaultComMsg");
    return msg;
}

bool PostSerialNotification(void* hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    return PostMessageW(static_cast<HWND>(hwnd), msg, wParam, lParam) != FALSE;
}
