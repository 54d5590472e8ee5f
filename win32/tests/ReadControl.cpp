// Reads one control of a running program's window from outside it, as a test sees the panel:
//   read_control <window caption> <control id, or 0 for the window itself>
// prints the control's text on the first line and its screen rectangle (left top right bottom) and
// whether it is enabled (1 or 0) on the second; exits 1 when there is no such window or control.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const HWND window = FindWindowW(nullptr, argv[1]);
    const int id = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    const HWND control = window && id != 0 ? GetDlgItem(window, id) : window;
    if (!control)
        return 1;
    wchar_t text[512] = L"";
    // With a time-out: a panel busy for long is a finding of its own, not a reason to hang.
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied))
        return 1;
    RECT rc{};
    GetWindowRect(control, &rc);
    std::printf("%ls\n%ld %ld %ld %ld %d\n", text, rc.left, rc.top, rc.right, rc.bottom, IsWindowEnabled(control) ? 1 : 0);
    return 0;
}
