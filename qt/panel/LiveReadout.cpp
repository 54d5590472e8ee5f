// Whether the "current: (" read-out and the slider thumbs show where the stage is now, or only
// where it was last reported: after a disconnect or a vanished device the numbers stay, dimmed.
#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"

void CTarnikMDlg::SetPositionLive(bool live)
{
    m_bPositionLive = live;
    ShowReadoutLive(live);
}

// The look alone: a controller that stopped answering dims what it last reported, which stays the
// position this connection reported.
void CTarnikMDlg::ShowReadoutLive(bool live)
{
    // A disabled label is drawn in the style's dim text colour; the sliders are disabled anyway
    // whenever the panel is not connected.
    EnableDlgItem(IDC_STATIC_CURPOS, live);
    const QString description = live ? QStringLiteral("live position") : QStringLiteral("last known position, not live");
    for (int id : {IDC_STATIC_CURPOS, IDC_SCROLL_X, IDC_SCROLL_Y, IDC_SCROLL_Z})
        if (QWidget* w = GetDlgItem(id))
            w->setAccessibleDescription(description);
}
