// The three position sliders: they show the reported position, a released thumb moves its axis
// there, an arrow steps exactly 1 mm. Y and Z are inverted: up is the + direction.
#include "app/TraceLog.h"
#include "panel/MotionFormat.h"
#include "panel/SliderMath.h"
#include "panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"

void CTarnikMDlg::UpdateSliders()
{
    if (auto* x = DlgItem<CScrollBarCtrl>(IDC_SCROLL_X))
        x->SetScrollPos(ToSliderPos(m_fPosX));
    if (auto* y = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y))
        y->SetScrollPos(ToSliderPos(STAGE_Y_MAX - m_fPosY));
    if (auto* z = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z))
        z->SetScrollPos(ToSliderPos(STAGE_Z_MAX - m_fPosZ));
}

// A released thumb sends its axis there; the other two axes stay where the lines sent take them.
// A move that cannot be known to stay inside the stage is refused and the thumbs go back.
void CTarnikMDlg::ReleaseThumb(int nAxis, float fValue, CScrollBarCtrl* pBar, int nPos)
{
    CStagePlan::Axes target{};
    if (!m_plan.TargetFor(nAxis - AXIS_X, fValue, target)) {
        WriteTraceLog(QStringLiteral("Slider move refused: where the stage is going is not known"));
        UpdateSliders();
        return;
    }
    pBar->SetScrollPos(nPos);
    const QString line = FormatAbsoluteMove(target[0], target[1], target[2], GetXYSpeed());
    if (SendAbsoluteMove("Slider move refused", {AsSent(target[0], 1), AsSent(target[1], 1), AsSent(target[2], 1)}, line))
        SendPositionQuery();
    else
        UpdateSliders();
}

void CTarnikMDlg::OnHScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar)
{
    if (!m_bConnected)
        return;
    // Every notification re-states the units and absolute positioning, whatever it is.
    SendFixedLine("G21\n");
    SendFixedLine("G90\n");
    auto* xBar = DlgItem<CScrollBarCtrl>(IDC_SCROLL_X);
    switch (nSBCode) {
    case SB_THUMBPOSITION:
        if (pScrollBar == xBar)
            ReleaseThumb(AXIS_X, static_cast<float>(nPos), xBar, static_cast<int>(nPos));
        break;
    case SB_LINELEFT:
        m_bSliderStep = TRUE;
        if (pScrollBar == xBar)
            OnJogButton(IDC_BTN_XMINUS);
        break;
    case SB_LINERIGHT:
        m_bSliderStep = TRUE;
        if (pScrollBar == xBar)
            OnJogButton(IDC_BTN_XPLUS);
        break;
    default:
        break;
    }
    CDialogBase::OnHScroll(nSBCode, nPos, pScrollBar);
}

void CTarnikMDlg::OnVScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar)
{
    if (!m_bConnected)
        return;
    SendFixedLine("G21\n");
    SendFixedLine("G90\n");
    auto* yBar = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y);
    auto* zBar = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z);
    const bool isY = pScrollBar == yBar;
    const bool isZ = pScrollBar == zBar;
    switch (nSBCode) {
    case SB_THUMBPOSITION:
        if (isY)
            ReleaseThumb(AXIS_Y, STAGE_Y_MAX - static_cast<float>(nPos), pScrollBar, static_cast<int>(nPos));
        else if (isZ)
            ReleaseThumb(AXIS_Z, STAGE_Z_MAX - static_cast<float>(nPos), pScrollBar, static_cast<int>(nPos));
        break;
    case SB_LINEUP:
        m_bSliderStep = TRUE;
        if (isY)
            OnJogButton(IDC_BTN_YPLUS);
        else if (isZ)
            OnJogButton(IDC_BTN_ZPLUS);
        break;
    case SB_LINEDOWN:
        m_bSliderStep = TRUE;
        if (isY)
            OnJogButton(IDC_BTN_YMINUS);
        else if (isZ)
            OnJogButton(IDC_BTN_ZMINUS);
        break;
    default:
        break;
    }
    CDialogBase::OnVScroll(nSBCode, nPos, pScrollBar);
}
