// The three position sliders: they show the reported position, a released thumb moves its axis
// there, an arrow steps exactly 1 mm. Y and Z are inverted: up is the + direction.
#include "qt/platform/TraceLog.h"
#include "core/MotionFormat.h"
#include "core/SliderMath.h"
#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"

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
    const std::string line = FormatAbsoluteMove(target[0], target[1], target[2], GetXYSpeed());
    if (SendAbsoluteMove("Slider move refused", {AsSent(target[0], 1), AsSent(target[1], 1), AsSent(target[2], 1)}, line))
        SendPositionQuery();
    else
        UpdateSliders();
}
