// Loading and storing the panel's settings in System.cfg, the option check boxes, "Set Park", and
// closing the panel.
#include <QComboBox>

#include "core/CommandLines.h"
#include "qt/platform/TraceLog.h"
#include "qt/panel/ConfigFile.h"
#include "core/MotionFormat.h"
#include "qt/panel/TarnikMDlg.h"
#include "qt/platform/MessageBox.h"
#include "core/Numbers.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"

namespace {

const QString kDlgStatus = QStringLiteral("DlgStatus");
const QString kLastPos = QStringLiteral("Last_Pos");
const QString kParkPos = QStringLiteral("Park_Pos");
const QString kSpdDst = QStringLiteral("SpdDst");
const QString kConnection = QStringLiteral("Connection");

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

// A distance as the boxes and the steps take it: to the hundredth, as the step lines carry it,
// with at least one decimal ("10.0", "0.02"), so that files written before read as they did.
QString DistanceText(float value)
{
    std::string text = FormatC("%.2f", static_cast<double>(value));
    if (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.')
        text.pop_back();
    return QString::fromStdString(text);
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
    SendFixedLine(LINE_UNITS_MM);
    SendFixedLine(LINE_ABSOLUTE);
    const CStagePlan::Axes target = {AsSent(x, 1), AsSent(y, 1), AsSent(z, 1)};
    if (SendAbsoluteMove("Last position not restored", target, FormatAbsoluteMove(x, y, z, GetXYSpeed())))
        SendQuery();
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

// Whole seconds within the allowed range; anything else (missing, "30.5", "2", "abc") means the default.
void CTarnikMDlg::LoadHomingTimeout()
{
    const QString text = ReadConfigString(g_strConfigFile, kConnection, QStringLiteral("HomingTimeout"));
    int seconds = 0;
    bool whole = !text.isEmpty() && text.size() <= 4;
    for (const QChar c : text) {
        whole = whole && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        seconds = seconds * 10 + (c.unicode() - '0');
    }
    m_nHomingTimeoutTicks = whole && seconds >= HOMING_TIMEOUT_MIN_S && seconds <= HOMING_TIMEOUT_MAX_S ? seconds
                                                                                                       : HOMING_TIMEOUT_DEFAULT_S;
}

void CTarnikMDlg::LoadSpeedsAndDistances()
{
    // A box whose key is missing keeps its default entry: an empty speed would read as 50 mm/min.
    const auto load = [this](int id, const QString& key, bool isSpeed) {
        const QString text = ReadConfigString(g_strConfigFile, kSpdDst, key);
        if (text.isEmpty())
            return;
        SetDlgItemText(id, isSpeed ? QString::fromStdString(FormatC("%d", ParseLeadingInt(text.toStdString()))) : text);
    };
    load(IDC_COMBO_XYSPEED, QStringLiteral("XYSpeed"), true);
    load(IDC_COMBO_ZSPEED, QStringLiteral("ZSpeed"), true);
    load(IDC_COMBO_XYDIST, QStringLiteral("XYDistance"), false);
    load(IDC_COMBO_ZDIST, QStringLiteral("ZDistance"), false);
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
    // A park position outside the stage would only ever be refused.
    if (!CStagePlan::Inside({AsSent(m_fPosX, 2), AsSent(m_fPosY, 2), AsSent(m_fPosZ, 2)})) {
        WriteTraceLog(QString::fromStdString(OutsideEnvelopeText("Park position not stored", m_fPosX, m_fPosY, m_fPosZ)));
        return;
    }
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
        WriteConfigString(g_strConfigFile, kSpdDst, QStringLiteral("XYDistance"), DistanceText(GetXYDistance()));
        WriteConfigString(g_strConfigFile, kSpdDst, QStringLiteral("ZDistance"), DistanceText(GetZDistance()));
        m_bRetainLastPos = IsDlgButtonChecked(IDC_CHECK_RETAIN) == 1;
        if (m_bRetainLastPos && m_bPositionLive)
            SaveLastPosition();
    }
    if (MessageBox(this, QStringLiteral("Are you sure you want to exit?"), QString(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        CDialogBase::OnClose();
}
