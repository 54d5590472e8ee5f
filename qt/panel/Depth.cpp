// The depth measurement: a start point, an end point and the Z distance between them, all taken
// from the last reported position. Nothing is sent to the controller.
#include "qt/panel/TarnikMDlg.h"
#include "core/Numbers.h"
#include "res/Resource.h"

namespace {

QString PointText(float x, float y, float z)
{
    return QString::fromStdString(FormatC("  X = %.2f, Y = %.2f, Z = %.2f", static_cast<double>(x),
                                          static_cast<double>(y), static_cast<double>(z)));
}

} // namespace

void CTarnikMDlg::OnBnClickedStart()
{
    m_fStartX = m_fPosX;
    m_fStartY = m_fPosY;
    m_fStartZ = m_fPosZ;
    SetDlgItemText(IDC_STATIC_STARTPOINT, PointText(m_fStartX, m_fStartY, m_fStartZ));
}

void CTarnikMDlg::OnBnClickedEnd()
{
    SetDlgItemText(IDC_STATIC_ENDPOINT, PointText(m_fPosX, m_fPosY, m_fPosZ));
    const double depth = static_cast<double>(m_fPosZ) - static_cast<double>(m_fStartZ);
    SetDlgItemText(IDC_STATIC_DEPTH, QString::fromStdString(FormatC("  %.2f", depth)));
}

// Clears the read-outs only: the start point keeps its value.
void CTarnikMDlg::OnBnClickedReset()
{
    SetDlgItemText(IDC_STATIC_STARTPOINT, PointText(0, 0, 0));
    SetDlgItemText(IDC_STATIC_ENDPOINT, PointText(0, 0, 0));
    SetDlgItemText(IDC_STATIC_DEPTH, QStringLiteral("  0.0"));
}
