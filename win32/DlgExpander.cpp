#include "res/Resource.h"
#include "win32/PanelDlg.h"

namespace {

std::wstring ItemText(HWND hDlg, int id)
{
    const HWND item = GetDlgItem(hDlg, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

void CDlgExpander::Init(HWND hDlg)
{
    m_hDlg = hDlg;
    m_bExpanded = true;
    GetWindowRect(hDlg, &m_rcFull);
    m_strMore = ItemText(hDlg, IDC_BTN_MORELESS);
    m_strLess = ItemText(hDlg, IDC_STATIC_LESSTEXT);
    ShowWindow(GetDlgItem(hDlg, IDC_STATIC_LESSTEXT), SW_HIDE);
    ShowWindow(GetDlgItem(hDlg, IDC_STATIC_MARKER), SW_HIDE);
    SetDlgItemTextW(hDlg, IDC_BTN_MORELESS, m_strLess.c_str());
}

// The panel keeps its place and width; only its height changes.
void CDlgExpander::Toggle()
{
    if (!m_hDlg)
        return;
    const bool wasExpanded = m_bExpanded;
    m_bExpanded = !m_bExpanded;
    RECT window{};
    GetWindowRect(m_hDlg, &window);
    int height = m_rcFull.bottom - m_rcFull.top;
    if (wasExpanded) {
        RECT client{};
        GetClientRect(m_hDlg, &client);
        const int frame = (window.bottom - window.top) - (client.bottom - client.top);
        RECT marker{};
        GetWindowRect(GetDlgItem(m_hDlg, IDC_STATIC_MARKER), &marker);
        MapWindowPoints(nullptr, m_hDlg, reinterpret_cast<POINT*>(&marker), 2);
        height = marker.bottom + frame;
    }
    MoveWindow(m_hDlg, window.left, window.top, m_rcFull.right - m_rcFull.left, height, TRUE);
    SetDlgItemTextW(m_hDlg, IDC_BTN_MORELESS, (m_bExpanded ? m_strLess : m_strMore).c_str());
}
