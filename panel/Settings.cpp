// Loading and storing the panel's settings in System.cfg, the option check boxes, "Set Park", and
// closing the panel.
#include <QComboBox>

#include "panel/ConfigFile.h"
#include "panel/MotionFormat.h"
#include "panel/TarnikMDlg.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"

namespace {

const QString kDlgStatus = QStringLiteral("DlgStatus");
const QString kLastPos = QStringLiteral("Last_Pos");
const QString kParkPos = QStringLiteral("Park_Pos");
const QString kSpdDst = QStringLiteral("SpdDst");

// A flag is set only by the exact text "1": "true", " 1" and "0" all read as off.
bool ReadFlag(const QString& section, const QString& key)
{
    return ReadConfigString(g_strConfigFile, section, key) == QStringLiteral("1");
}

float ReadFloat(const QString& section, const QString& key)
{
    const QString text = ReadConfigString(g_strConfigFile, section, key);
    return text.isEmpty() ? 0.0f : static_cast<float>(ParseLeadingDouble(text.toStdString()));
}

QString Fixed(const char* format, float value)
{
    return QString::fromStdString(FormatC(format, static_cast<double>(value)));
}

} // namespace

BOOL CTarnikMDlg::LoadExpanderState() { return ReadFlag(kDlgStatus, QStringLiteral("ExpanderDlg")); }

BOOL CTarnikMDlg::LoadAlwaysOnTop() { return ReadFlag(kDlgStatus, QStringLiteral("OnTop")); }

void CTarnikMDlg::LoadRetainLastPos()
{
    m_bRetainLastPos = ReadFlag(kLastPos, QStringLiteral("keep"));
    CheckDlgButton(IDC_CHECK_RETAIN, m_bRetainLastPos ? 1 : 0);
}

BOOL CTarnikMDlg::RestoreLastPosition()
{
    const float x = ReadFloat(kLastPos, QStringLiteral("X"));
    const float y = ReadFloat(kLastPos, QStringLiteral("Y"));
    const float z = ReadFloat(kLastPos, QStringLiteral("Z"));
    // The mode lines go out even before the handshake; the move line itself waits for it.
    SendFixedLine("G21\n");
    SendFixedLine("G90\n");
    SendCommandLine(FormatAbsoluteMove(x, y, z, GetXYSpeed()));
    SendFixedLine("M114\n");
    return TRUE;
}

void CTarnikMDlg::SaveLastPosition()
{
    WriteConfigString(g_strConfigFile, kLastPos, QStringLiteral("X"), Fixed("%.1f", m_fPosX));
    WriteConfigString(g_strConfigFile, kLastPos, QStringLiteral("Y"), Fixed("%.1f", m_fPosY));
    WriteConfigString(g_strConfigFile, kLastPos, QStringLiteral("Z"), Fixed("%.1f", m_fPosZ));
}

BOOL CTarnikMDlg::LoadParkPosition()
{
    m_fParkX = ReadFloat(kParkPos, QStringLiteral("X"));
    m_fParkY = ReadFloat(kParkPos, QStringLiteral("Y"));
    m_fParkZ = ReadFloat(kParkPos, QStringLiteral("Z"));
    // (0, 0, 0) means no park position has been stored.
    if (m_fParkX == 0.0f && m_fParkY == 0.0f && m_fParkZ == 0.0f) {
        m_fParkX = PARK_DEFAULT_X;
        m_fParkY = PARK_DEFAULT_Y;
        m_fParkZ = PARK_DEFAULT_Z;
    }
    return TRUE;
}

void CTarnikMDlg::LoadSpeedsAndDistances()
{
    const int xySpeed = ParseLeadingInt(ReadConfigString(g_strConfigFile, kSpdDst, QStringLiteral("XYSpeed")).toStdString());
    const int zSpeed = ParseLeadingInt(ReadConfigString(g_strConfigFile, kSpdDst, QStringLiteral("ZSpeed")).toStdString());
    const QString xyDist = ReadConfigString(g_strConfigFile, kSpdDst, QStringLiteral("XYDistance"));
    const QString zDist = ReadConfigString(g_strConfigFile, kSpdDst, QStringLiteral("ZDistance"));
    SetDlgItemText(IDC_COMBO_XYSPEED, QString::fromStdString(FormatC("%d", xySpeed)));
    SetDlgItemText(IDC_COMBO_ZSPEED, QString::fromStdString(FormatC("%d", zSpeed)));
    SetDlgItemText(IDC_COMBO_XYDIST, xyDist);
    SetDlgItemText(IDC_COMBO_ZDIST, zDist);
}

void CTarnikMDlg::OnBnClickedMoreLess()
{
    m_expander.Toggle();
    WriteConfigString(g_strConfigFile, kDlgStatus, QStringLiteral("ExpanderDlg"),
                      m_expander.IsExpanded() ? QStringLiteral("1") : QStringLiteral("0"));
}

void CTarnikMDlg::OnBnClickedAlwaysOnTop()
{
    // The member is flipped, not read from the box: the click has flipped the box already.
    m_bAlwaysOnTop = !m_bAlwaysOnTop;
    WriteConfigString(g_strConfigFile, kDlgStatus, QStringLiteral("OnTop"),
                      m_bAlwaysOnTop ? QStringLiteral("1") : QStringLiteral("0"));
    PlaceTopMost(m_bAlwaysOnTop);
}

void CTarnikMDlg::OnBnClickedRetainLastPos()
{
    m_bRetainLastPos = !m_bRetainLastPos;
    WriteConfigString(g_strConfigFile, kLastPos, QStringLiteral("keep"),
                      m_bRetainLastPos ? QStringLiteral("1") : QStringLiteral("0"));
}

void CTarnikMDlg::OnBnClickedSetPark()
{
    WriteConfigString(g_strConfigFile, kParkPos, QStringLiteral("X"), Fixed("%.2f", m_fPosX));
    m_fParkX = m_fPosX;
    WriteConfigString(g_strConfigFile, kParkPos, QStringLiteral("Y"), Fixed("%.2f", m_fPosY));
    m_fParkY = m_fPosY;
    WriteConfigString(g_strConfigFile, kParkPos, QStringLiteral("Z"), Fixed("%.2f", m_fPosZ));
    m_fParkZ = m_fPosZ;
}

void CTarnikMDlg::OnClose()
{
    if (m_bConnected) {
        WriteConfigInt(g_strConfigFile, kSpdDst, QStringLiteral("XYSpeed"), GetXYSpeed());
        WriteConfigInt(g_strConfigFile, kSpdDst, QStringLiteral("ZSpeed"), GetZSpeed());
        WriteConfigString(g_strConfigFile, kSpdDst, QStringLiteral("XYDistance"), Fixed("%.1f", GetXYDistance()));
        WriteConfigString(g_strConfigFile, kSpdDst, QStringLiteral("ZDistance"), Fixed("%.1f", GetZDistance()));
        m_bRetainLastPos = IsDlgButtonChecked(IDC_CHECK_RETAIN) == 1;
        if (m_bRetainLastPos)
            SaveLastPosition();
    }
    if (MessageBox(this, QStringLiteral("Are you sure you want to exit?"), QString(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        CDialogBase::OnClose();
}
