// Step moves, Home and Park, the keyboard jog, and the one routine every move line goes through.
#include <QComboBox>
#include <QKeyEvent>
#include <QThread>
#include <chrono>

#include "qt/platform/TraceLog.h"
#include "core/CommandLines.h"
#include "core/JogPlan.h"
#include "core/MotionFormat.h"
#include "qt/panel/JogKeys.h"
#include "qt/panel/TarnikMDlg.h"
#include "core/Numbers.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"


long long CTarnikMDlg::PlanClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every line goes out whole or ends the connection. A write that ran out of time may have left
// part of its line on the wire, and the controller would read it and the next line as one line
// nobody sent; and a controller that stopped taking data is not one to go on talking to.
bool CTarnikMDlg::WriteLine(const char* line)
{
    // A halted controller is sent nothing until the operator connects again.
    if (!m_pSerial || !m_pSerial->IsOpen() || m_nConnectPhase == CONNECT_PHASE_HALTED)
        return false;
    const LONG rc = m_pSerial->WriteText(line);
    if (rc == ERROR_SUCCESS)
        return true;
    WriteTraceLog(QString::fromStdString(FormatC("Write() failed with error code = %d", static_cast<int>(rc))));
    // Closed before the box comes up: nothing more goes out, and what of the line still waits in
    // the driver is dropped rather than left to the controller.
    m_pSerial->Purge();
    m_pSerial->Close();
    if (!m_bShowingConnectionError)
        ReportConnectionError();
    return false;
}

bool CTarnikMDlg::SendFixedLine(const char* line) { return WriteLine(line); }

bool CTarnikMDlg::SendQuery()
{
    if (!SendFixedLine(LINE_QUERY_POSITION))
        return false;
    m_plan.QuerySent(PlanClockMs());
    ++m_nQueriesSinceReport;
    WatchController();
    return true;
}

void CTarnikMDlg::SendPositionQuery()
{
    m_nReportRetries = 0;
    if (!SendQuery())
        return;
    // The pause is part of the conversation: the second query catches the end of a short move.
    QThread::msleep(100);
    SendQuery();
}

// An absolute move goes out only when its target lies inside the envelope; a refused one is
// logged and sends nothing.
bool CTarnikMDlg::SendAbsoluteMove(const char* what, const CStagePlan::Axes& target, const std::string& line)
{
    if (!CStagePlan::Inside(target)) {
        WriteTraceLog(QString::fromStdString(OutsideEnvelopeText(what, target[0], target[1], target[2])));
        return false;
    }
    if (SendCommandLine(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()))))
        m_plan.AbsoluteSent(target);
    return true;
}

BOOL CTarnikMDlg::SendCommandLine(const QString& strLine)
{
    if (!m_bConnected || strLine.isEmpty())
        return FALSE;
    return WriteLine(strLine.toLatin1().constData()) ? TRUE : FALSE;
}

// A box's text as the line carries text: Latin-1, a character outside it as '?'.
std::string CTarnikMDlg::BoxText(int nID) { return GetDlgItemText(nID).toLatin1().toStdString(); }

float CTarnikMDlg::GetXYDistance() { return ReadDistanceText(BoxText(IDC_COMBO_XYDIST)); }
float CTarnikMDlg::GetZDistance() { return ReadDistanceText(BoxText(IDC_COMBO_ZDIST)); }
int CTarnikMDlg::GetXYSpeed() { return ReadSpeedText(BoxText(IDC_COMBO_XYSPEED)); }
int CTarnikMDlg::GetZSpeed() { return ReadSpeedText(BoxText(IDC_COMBO_ZSPEED)); }

void CTarnikMDlg::OnJogButton(UINT nID)
{
    if (!CanMove())
        return;
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
    SendFixedLine(LINE_UNITS_MM);
    SendFixedLine(LINE_RELATIVE);
    const bool isZ = nAxis == AXIS_Z;
    const SStepPlan step = PlanStep({nAxis, bNegative, BoxText(isZ ? IDC_COMBO_ZDIST : IDC_COMBO_XYDIST),
                                     BoxText(isZ ? IDC_COMBO_ZSPEED : IDC_COMBO_XYSPEED), m_bSliderStep == TRUE},
                                    m_plan);
    // The slider arrow's 1 mm is used up even by a refused step.
    m_bSliderStep = FALSE;
    if (!step.bAllowed)
        return;
    if (!SendCommandLine(QString::fromLatin1(step.strLine.data(), static_cast<qsizetype>(step.strLine.size()))))
        return;
    m_plan.StepSent(nAxis - AXIS_X, step.fDelta);
    SendPositionQuery();
}

void CTarnikMDlg::Home()
{
    if (!m_bConnected)
        return;
    SendFixedLine(LINE_UNITS_MM);
    SendFixedLine(LINE_RELATIVE);
    m_bSliderStep = FALSE;
    m_bHomeSinceReport = true;
    // Relative positioning is in force: home, then lift Z by 55 mm from there.
    if (!SendFixedLine(LINE_HOME) || !SendFixedLine(LINE_LIFT_Z))
        return;
    m_plan.HomeSent(HOME_LIFT_Z);
    SendPositionQuery();
}

void CTarnikMDlg::OnBnClickedPark()
{
    if (!CanMove())
        return;
    SendFixedLine(LINE_ABSOLUTE);
    const int speed = GetXYSpeed();
    // A park position edited into System.cfg by hand may lie outside the stage.
    const CStagePlan::Axes target = {AsSent(m_fParkX, 2), AsSent(m_fParkY, 2), AsSent(m_fParkZ, 2)};
    if (SendAbsoluteMove("Park refused", target, FormatParkMove(m_fParkX, m_fParkY, m_fParkZ, speed)))
        SendPositionQuery();
}

namespace {

// The jog button whose click a jog key stands for.
int JogButtonId(const SJog& jog)
{
    switch (jog.nAxis) {
    case AXIS_X: return jog.bNegative ? IDC_BTN_XMINUS : IDC_BTN_XPLUS;
    case AXIS_Y: return jog.bNegative ? IDC_BTN_YMINUS : IDC_BTN_YPLUS;
    case AXIS_Z: return jog.bNegative ? IDC_BTN_ZMINUS : IDC_BTN_ZPLUS;
    default: return 0;
    }
}

} // namespace

bool CTarnikMDlg::PreTranslateMessage(QObject* receiver, QKeyEvent* e)
{
    Q_UNUSED(receiver);
    // Keys jog only while the jog buttons are enabled (not before the first report, not while
    // homing); otherwise Tab, Enter and Esc keep their usual meaning.
    if (!CanMove() || !m_bConnectedLook || e->type() != QEvent::KeyPress)
        return false;
    // Keys pressed with Alt are menu keys, not jog keys.
    if (e->modifiers() & Qt::AltModifier)
        return false;
    const SJog jog = JogForKey(JogKeyForQtKey(e->key(), e->nativeScanCode()));
    if (jog.nAxis == 0)
        return false;
    if (!m_jogClock.isValid())
        m_jogClock.start();
    if (m_keyRepeats.IsStale(e->key(), e->isAutoRepeat(), e->timestamp(), m_jogClock.elapsed()))
        return true;
    m_keyRepeats.StepStarted(e->key(), m_jogClock.elapsed());
    OnJogButton(static_cast<UINT>(JogButtonId(jog)));
    return true;
}
