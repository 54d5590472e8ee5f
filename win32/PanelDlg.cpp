// The panel's window: creation, the dialog procedure, initialisation, the lists, the sliders'
// ranges, the top-most option, the menu with About, and the minimised panel's icon.
#include "win32/PanelDlg.h"

#include <windowsx.h>

#include "core/Numbers.h"
#include "res/Resource.h"
#include "platform/win32/Files.h"
#include "platform/win32/Text.h"

namespace {

// The first is the rate when nothing is stored, or something the list does not offer.
constexpr DWORD kBaudRates[] = {115200, 250000, 230400, 500000, 1000000, 57600};

constexpr COLORREF kVersionColour = RGB(195, 195, 195);

INT_PTR CALLBACK AboutProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

CPanelDlg::CPanelDlg()
    : m_session({[](std::string_view section, std::string_view key) { return files::ReadSetting(section, key); },
                 [this](EControl control) { return BoxText(control); },
                 [] { return static_cast<long long>(GetTickCount64()); }})
{
}

// The port goes first: its listener posts to this window, which must still be there.
CPanelDlg::~CPanelDlg()
{
    m_serial.Close();
    if (m_hConnIcon)
        DestroyIcon(m_hConnIcon);
}

HWND CPanelDlg::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    m_nSerialMsg = CSerialWnd::DefaultComMsg();
    return CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_TARNIKM_DIALOG), nullptr, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CPanelDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CPanelDlg*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
    }
    auto* self = reinterpret_cast<CPanelDlg*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!self)
        return FALSE;
    const INT_PTR result = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        self->m_hWnd = nullptr;
    return result;
}

INT_PTR CPanelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == m_nSerialMsg && m_nSerialMsg != 0) {
        OnSerialMsg(wParam);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL: OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_TIMER: Run(m_session.Tick()); return TRUE;
    case WM_CLOSE: Run(m_session.CloseRequested()); return TRUE;
    case WM_DESTROY:
        KillTimer(m_hWnd, CONNECT_TIMER_ID);
        m_serial.Close();
        PostQuitMessage(0);
        return TRUE;
    case WM_CONTEXTMENU: OnContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OnAboutBox();
            return TRUE;
        }
        return FALSE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID != static_cast<UINT>(IDC_BTN_STATUS))
            return FALSE;
        m_btnStatus.Draw(*item);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_STATIC_VERSION) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kVersionColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
    case WM_PAINT:
        if (!IsIconic(m_hWnd))
            return FALSE;
        OnPaintMinimized();
        return TRUE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_hIcon);
    default: return FALSE;
    }
}

BOOL CPanelDlg::OnInitDialog()
{
    m_expander.Init(m_hWnd);
    SetUpWindow();
    FillSpeedDistanceLists();
    InitSliders();
    EnumeratePorts();
    m_btnStatus.Attach(Item(IDC_BTN_STATUS));
    m_btnStatus.SetIcon(IDI_DISCONNECTED);
    // The rest is the session's: the controls as System.cfg left them.
    Run(m_session.Start());
    return TRUE;
}

void CPanelDlg::SetUpWindow()
{
    if (const HMENU sysMenu = GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t about[64] = L"";
        if (LoadStringW(m_hInstance, IDS_ABOUTBOX, about, 64) > 0) {
            AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    m_hIcon = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    m_hIconSmall = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    // A panel of fixed size: no resizing, no maximising.
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_THICKFRAME | WS_MAXIMIZEBOX));
}

void CPanelDlg::FillSpeedDistanceLists()
{
    const auto fill = [this](int id, const std::vector<std::string>& entries, int selected) {
        const HWND box = Item(id);
        SendMessageW(box, CB_RESETCONTENT, 0, 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::wstring text = FromLatin1(entries[i]);
            SendMessageW(box, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(text.c_str()));
        }
        SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    };
    const auto dist = [](double v) { return FormatC("%.1f", v); };
    const auto speed = [](int v) { return FormatC("%d", v); };
    const auto deflt = [](int v) { return FormatC("%d (Default)", v); };
    const std::string hint = "or enter 50 to 5000";

    fill(IDC_COMBO_XYDIST, {dist(0.1), dist(1), dist(10), dist(50)}, 1);
    fill(IDC_COMBO_ZDIST, {"0.02", dist(0.1), dist(1), dist(10), dist(50)}, 2);
    fill(IDC_COMBO_XYSPEED, {speed(1000), speed(2000), speed(3000), speed(4000), deflt(5000), hint}, 4);
    fill(IDC_COMBO_ZSPEED, {speed(1000), speed(2000), deflt(3000), speed(4000), speed(5000), hint}, 2);
}

// The sliders span the stage; Y and Z count from the top, so that up is the + direction.
void CPanelDlg::InitSliders()
{
    const struct {
        int id;
        float max;
        bool fromTop;
    } sliders[] = {{IDC_SCROLL_X, STAGE_X_MAX, false}, {IDC_SCROLL_Y, STAGE_Y_MAX, true}, {IDC_SCROLL_Z, STAGE_Z_MAX, true}};
    for (const auto& s : sliders) {
        SetScrollRange(Item(s.id), SB_CTL, 0, static_cast<int>(s.max), TRUE);
        SetScrollPos(Item(s.id), SB_CTL, s.fromTop ? static_cast<int>(s.max) : 0, TRUE);
    }
}

// The port list keeps the port chosen when it is still there; the baud list the stored rate.
void CPanelDlg::EnumeratePorts()
{
    const HWND list = Item(IDC_COMBO_PORT);
    const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const int chosen = selected >= 0 && static_cast<size_t>(selected) < m_ports.size() ? m_ports[selected].nNumber : 0;
    m_ports = ListPanelPorts();
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int select = 0;
    for (size_t i = 0; i < m_ports.size(); ++i) {
        const std::wstring name = L"COM" + std::to_wstring(m_ports[i].nNumber);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (m_ports[i].nNumber == chosen)
            select = static_cast<int>(i);
    }
    SendMessageW(list, CB_SETCURSEL, m_ports.empty() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(select), 0);
    FillBaudList();
}

void CPanelDlg::FillBaudList()
{
    const HWND list = Item(IDC_COMBO_BAUD);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    const std::string stored = TrimmedLine(files::ReadSetting("Connection", "Baud"));
    int select = 0;
    for (size_t i = 0; i < std::size(kBaudRates); ++i) {
        const std::string rate = FormatC("%u", static_cast<unsigned>(kBaudRates[i]));
        const std::wstring text = FromLatin1(rate);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (rate == stored)
            select = static_cast<int>(i);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

DWORD CPanelDlg::SelectedBaud() const
{
    const LRESULT selected = SendMessageW(Item(IDC_COMBO_BAUD), CB_GETCURSEL, 0, 0);
    return selected >= 0 && static_cast<size_t>(selected) < std::size(kBaudRates) ? kBaudRates[selected]
                                                                                    : kBaudRates[0];
}

void CPanelDlg::PlaceTopMost(bool topMost)
{
    SetWindowPos(m_hWnd, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// A right click on the panel (or Shift+F10, the menu key: then at the panel's corner).
void CPanelDlg::OnContextMenu(POINT where)
{
    if (where.x == -1 && where.y == -1) {
        RECT rc{};
        GetWindowRect(m_hWnd, &rc);
        where = {rc.left + 8, rc.top + 8};
    }
    wchar_t about[64] = L"";
    if (LoadStringW(m_hInstance, IDS_ABOUTBOX, about, 64) <= 0)
        return;
    const HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    const UINT command = static_cast<UINT>(
        TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, where.x, where.y, m_hWnd, nullptr));
    DestroyMenu(menu);
    if (command == IDM_ABOUTBOX)
        OnAboutBox();
}

void CPanelDlg::OnAboutBox() { DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hWnd, AboutProc, 0); }

void CPanelDlg::OnPaintMinimized()
{
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
}
