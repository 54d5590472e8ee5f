// Step moves, Home and Park, the keyboard jog, and the one routine every move line goes through.
#include <QComboBox>
#include <QKeyEvent>
#include <QThread>

#include "app/TraceLog.h"
#include "panel/MotionFormat.h"
#include "panel/TarnikMDlg.h"
#include "platform/Numbers.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"

namespace {

// The keys that jog, and the button each one stands for. The arrows and page keys are known by
// their meaning; the letters by their place on the keyboard (the native key code, XKB's evdev + 8
// on Linux), so that W A S D Q E jog under any layout, Cyrillic and Greek ones included. Without a
// native code (a synthetic event) the letter itself is taken.
int JogButtonForKey(int key, quint32 nativeScanCode)
{
    switch (key) {
    case Qt::Key_Right: return IDC_BTN_XPLUS;
    case Qt::Key_Left: return IDC_BTN_XMINUS;
    case Qt::Key_Up: return IDC_BTN_YPLUS;
    case Qt::Key_Down: return IDC_BTN_YMINUS;
    case Qt::Key_PageUp: return IDC_BTN_ZPLUS;
    case Qt::Key_PageDown: return IDC_BTN_ZMINUS;
    default: break;
    }
    enum : quint32 { KEYCODE_Q = 24, KEYCODE_W = 25, KEYCODE_E = 26, KEYCODE_A = 38, KEYCODE_S = 39, KEYCODE_D = 40 };
    if (nativeScanCode != 0) {
        switch (nativeScanCode) {
        case KEYCODE_D: return IDC_BTN_XPLUS;
        case KEYCODE_A: return IDC_BTN_XMINUS;
        case KEYCODE_S: return IDC_BTN_YPLUS;
        case KEYCODE_W: return IDC_BTN_YMINUS;
        case KEYCODE_E: return IDC_BTN_ZPLUS;
        case KEYCODE_Q: return IDC_BTN_ZMINUS;
        default: return 0;
        }
    }
    switch (key) {
    case Qt::Key_D: return IDC_BTN_XPLUS;
    case Qt::Key_A: return IDC_BTN_XMINUS;
    case Qt::Key_S: return IDC_BTN_YPLUS;
    case Qt::Key_W: return IDC_BTN_YMINUS;
    case Qt::Key_E: return IDC_BTN_ZPLUS;
    case Qt::Key_Q: return IDC_BTN_ZMINUS;
    default: return 0;
    }
}

} // namespace

void CTarnikMDlg::SendFixedLine(const char* line)
{
    // The fixed lines' results are not looked at: only a failed move line is worth a trace entry.
    if (m_pSerial)
        m_pSerial->WriteText(line);
}

void CTarnikMDlg::SendQuery()
{
    m_plan.QuerySent();
    SendFixedLine("M114\n");
}

void CTarnikMDlg::SendPositionQuery()
{
    m_nReportRetries = 0;
    SendQuery();
    // The pause is part of the conversation: the second query catches the end of a short move.
    QThread::msleep(100);
    SendQuery();
}

// An absolute move goes out only when its target lies inside the envelope; a refused one is
// logged and sends nothing.
bool CTarnikMDlg::SendAbsoluteMove(const char* what, const CStagePlan::Axes& target, const QString& line)
{
    if (!CStagePlan::Inside(target)) {
        WriteTraceLog(OutsideEnvelopeText(what, target[0], target[1], target[2]));
        return false;
    }
    if (m_bConnected)
        m_plan.AbsoluteSent(target);
    SendCommandLine(line);
    return true;
}

BOOL CTarnikMDlg::SendCommandLine(const QString& strLine)
{
    if (!m_bConnected || strLine.isEmpty() || !m_pSerial)
        return FALSE;
    const QByteArray bytes = strLine.toLatin1();
    const LONG rc = m_pSerial->WriteText(bytes.constData());
    if (rc != ERROR_SUCCESS)
        WriteTraceLog(QString::fromStdString(FormatC("Write() failed with error code = %d", static_cast<int>(rc))));
    return TRUE;
}

float CTarnikMDlg::GetXYDistance() { return ReadDistanceText(GetDlgItemText(IDC_COMBO_XYDIST)); }
float CTarnikMDlg::GetZDistance() { return ReadDistanceText(GetDlgItemText(IDC_COMBO_ZDIST)); }
int CTarnikMDlg::GetXYSpeed() { return ReadSpeedText(GetDlgItemText(IDC_COMBO_XYSPEED)); }
int CTarnikMDlg::GetZSpeed() { return ReadSpeedText(GetDlgItemText(IDC_COMBO_ZSPEED)); }

void CTarnikMDlg::OnJogButton(UINT nID)
{
    switch (nID) {
    case IDC_BTN_XPLUS: StepMove(AXIS_X, false); break;
    case IDC_BTN_XMINUS: StepMove(AXIS_X, true); break;
    case IDC_BTN_YPLUS: StepMove(AXIS_Y, false); break;
    case IDC_BTN_YMINUS: StepMove(AXIS_Y, true); break;
    case IDC_BTN_ZPLUS: StepMove(AXIS_Z, false); break;
    case IDC_BTN_ZMINUS: StepMove(AXIS_Z, true); break;
    case IDC_BTN_HOME: Home(); break;
    default: break;
    }
}

void CTarnikMDlg::StepMove(int nAxis, bool bNegative)
{
    if (!m_bConnected)
        return;
    SendFixedLine("G21\n");
    SendFixedLine("G91\n");

    const bool isZ = nAxis == AXIS_Z;
    float d = isZ ? GetZDistance() : GetXYDistance();
    const float minimum = isZ ? Z_STEP_MIN : XY_STEP_MIN;
    if (d <= minimum)
        d = minimum;
    const int speed = isZ ? GetZSpeed() : GetXYSpeed();
    if (m_bSliderStep) {
        d = 1.0f;
        m_bSliderStep = FALSE;
    }

    // The limits are tested against where the lines already sent take the stage, not against the
    // last report, which lags behind steps that went out since its query.
    const float delta = AsSent(bNegative ? -d : d, 2);
    if (!m_plan.StepAllowed(nAxis - AXIS_X, delta))
        return;

    m_plan.StepSent(nAxis - AXIS_X, delta);
    SendCommandLine(FormatStepMove(nAxis, bNegative, d, speed));
    SendPositionQuery();
}

void CTarnikMDlg::Home()
{
    if (!m_bConnected)
        return;
    SendFixedLine("G21\n");
    SendFixedLine("G91\n");
    m_bSliderStep = FALSE;
    // Relative positioning is in force: home, then lift Z by 55 mm from there.
    SendFixedLine("G28\n");
    SendFixedLine("G0 Z55\n");
    m_plan.HomeSent(HOME_LIFT_Z);
    SendPositionQuery();
}

void CTarnikMDlg::OnBnClickedPark()
{
    if (!m_bConnected)
        return;
    SendFixedLine("G90\n");
    const int speed = GetXYSpeed();
    // A park position edited into System.cfg by hand may lie outside the stage.
    const CStagePlan::Axes target = {AsSent(m_fParkX, 2), AsSent(m_fParkY, 2), AsSent(m_fParkZ, 2)};
    if (SendAbsoluteMove("Park refused", target, FormatParkMove(m_fParkX, m_fParkY, m_fParkZ, speed)))
        SendPositionQuery();
}

bool CTarnikMDlg::IsJogKeyRepeatStale(const QKeyEvent* e)
{
    const qint64 stamp = static_cast<qint64>(e->timestamp());
    if (stamp == 0)
        return false;   // a key without a time stamp cannot have queued up
    // The key events' clock runs at a fixed offset from ours; an event is never handled before it
    // was made, so the smallest difference seen is the closest estimate of that offset.
    const qint64 now = m_jogClock.elapsed();
    if (!m_bKeyClockKnown || now - stamp < m_nKeyClockOffset) {
        m_nKeyClockOffset = now - stamp;
        m_bKeyClockKnown = true;
    }
    if (!e->isAutoRepeat() || e->key() != m_nLastJogKey || m_nLastJogStartMs < 0)
        return false;
    // A repeat made before the last step began has been waiting behind an earlier repeat of the
    // same key: repeats that piled up while the stage was busy count as one key-down.
    return stamp + m_nKeyClockOffset < m_nLastJogStartMs;
}

bool CTarnikMDlg::PreTranslateMessage(QObject* receiver, QKeyEvent* e)
{
    Q_UNUSED(receiver);
    // Keys jog only while the jog buttons are enabled (not before the first report, not while
    // homing); otherwise Tab, Enter and Esc keep their usual meaning.
    if (!m_bConnected || !m_bConnectedLook || e->type() != QEvent::KeyPress)
        return false;
    // Keys pressed with Alt are menu keys, not jog keys.
    if (e->modifiers() & Qt::AltModifier)
        return false;
    const int button = JogButtonForKey(e->key(), e->nativeScanCode());
    if (button == 0)
        return false;
    if (!m_jogClock.isValid())
        m_jogClock.start();
    if (IsJogKeyRepeatStale(e))
        return true;
    m_nLastJogKey = e->key();
    m_nLastJogStartMs = m_jogClock.elapsed();
    OnJogButton(static_cast<UINT>(button));
    return true;
}
