#pragma once
// The "More >>" / "<< Less" expander: collapses the panel to the bottom edge of a marker control,
// hiding the depth measurement below it, and gives the full size back.
#include <QRect>
#include <QString>

#include "platform/WinTypes.h"

class CDialogBase;

class CDlgExpander {
public:
    void Init(CDialogBase* pDlg);
    void Toggle();
    BOOL IsExpanded() const { return m_bExpanded; }
    QRect FullRect() const { return m_rcFull; }

    UINT m_nButtonID = 0;
    UINT m_nMarkerID = 0;
    UINT m_nLessTextID = 0;
    CDialogBase* m_pDlg = nullptr;
    QString m_strMore;
    QString m_strLess;
    QRect m_rcFull;   // the panel's frame at initialisation, full size
    BOOL m_bExpanded = FALSE;
};
