#include "qt/panel/DlgExpander.h"

#include "qt/platform/DialogBase.h"
#include "res/Resource.h"

void CDlgExpander::Init(CDialogBase* pDlg)
{
    m_nButtonID = IDC_BTN_MORELESS;
    m_nMarkerID = IDC_STATIC_MARKER;
    m_nLessTextID = IDC_STATIC_LESSTEXT;
    m_pDlg = pDlg;
    m_bExpanded = TRUE;
    m_rcFull = QRect(pDlg->pos(), pDlg->size());
    m_strMore = pDlg->GetDlgItemText(static_cast<int>(m_nButtonID));
    m_strLess = pDlg->GetDlgItemText(static_cast<int>(m_nLessTextID));
    pDlg->ShowDlgItem(static_cast<int>(m_nLessTextID), false);
    pDlg->ShowDlgItem(static_cast<int>(m_nMarkerID), false);
    pDlg->SetDlgItemText(static_cast<int>(m_nButtonID), m_strLess);
}

void CDlgExpander::Toggle()
{
    if (!m_pDlg)
        return;
    const bool wasExpanded = m_bExpanded;
    m_bExpanded = !m_bExpanded;
    // The panel is not resizable by the operator; only the expander changes its height.
    int height = m_rcFull.height();
    if (wasExpanded) {
        const QWidget* marker = m_pDlg->GetDlgItem(static_cast<int>(m_nMarkerID));
        height = marker ? marker->geometry().bottom() + 1 : m_pDlg->height();
    }
    m_pDlg->setFixedSize(m_rcFull.width(), height);
    m_pDlg->SetDlgItemText(static_cast<int>(m_nButtonID), m_bExpanded ? m_strLess : m_strMore);
}
