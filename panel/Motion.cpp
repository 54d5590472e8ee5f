// Step moves, Home and Park, the keyboard jog, and the one routine every move line goes through.
#include <QComboBox>
#include <QKeyEvent>
#include <QThread>

#include "platform/TraceLog.h"
#include "panel/JogPlan.h"
#include "panel/MotionFormat.h"
#include "panel/TarnikMDlg.h"
#include "platform/Numbers.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"


void CTarnikMDlg::SendFixedLine(const char* line)
{
    // The fixed lines' results are not looked at: only a failed move line is worth a trace entry.
    // A halted controller is sent nothing until the operator connects again.
    if (m_pSerial && m_nConnectPhase != CONNECT_PHASE_HALTED)
        m_pSerial->WriteText(line);
}

void CTarnikMDlg::SendQuery()
{
    ++m_nQueriesSinceReport;
    m_plan.QuerySent();
    SendFixedLine("M114\n");
    WatchController();
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
    if (!m_bConnected || strLine.isEmpty() || !m_pSerial || m_nConnectPhase == CONNECT_PHASE_HALTED)
        return FALSE;
    const QByteArray bytes = strLine.toLatin1();
    const LONG rc = m_pSerial->WriteText(bytes.constData());
    if (rc != ERROR_SUCCESS) {
        WriteTraceLog(QString::fromStdString(FormatC("Write() failed with error code = %d", static_cast<int>(rc))));
        return FALSE;
    }
    return TRUE;
}

float CTarnikMDlg::GetXYDistance() { return ReadDistanceText(GetDlgItemText(IDC_COMBO_XYDIST)); }
float CTarnikMDlg::GetZDistance() { return ReadDistanceText(GetDlgItemText(IDC_COMBO_ZDIST)); }
int CTarnikMDlg::GetXYSpeed() { return ReadSpeedText(GetDlgItemText(IDC_COMBO_XYSPEED)); }
int CTarnikMDlg::GetZSpeed() { return ReadSpeedText(GetDlgItemText(IDC_COMBO_ZSPEED)); }

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
    SendFixedLine("G21\n");
    SendFixedLine("G91\n");
    const bool isZ = nAxis == AXIS_Z;
    const SStepPlan step = PlanStep({nAxis, bNegative, GetDlgItemText(isZ ? IDC_COMBO_ZDIST : IDC_COMBO_XYDIST),
                                     GetDlgItemText(isZ ? IDC_COMBO_ZSPEED : IDC_COMBO_XYSPEED), m_bSliderStep == TRUE},
                                    m_plan);
    // The slider arrow's 1 mm is used up even by a refused step.
    m_bSliderStep = FALSE;
    if (!step.bAllowed)
        return;
    m_plan.StepSent(nAxis - AXIS_X, step.fDelta);
    SendCommandLine(step.strLine);
    SendPositionQuery();
}

void CTarnikMDlg::Home()
{
    if (!m_bConnected)
        return;
    SendFixedLine("G21\n");
    SendFixedLine("G91\n");
    m_bSliderStep = FALSE;
    m_bHomeSinceReport = true;
    // Relative positioning is in force: home, then lift Z by 55 mm from there.
    SendFixedLine("G28\n");
    SendFixedLine("G0 Z55\n");
    m_plan.HomeSent(HOME_LIFT_Z);
    SendPositionQuery();
}

void CTarnikMDlg::OnBnClickedPark()
{
    if (!CanMove())
        return;
    SendFixedLine("G90\n");
    const int speed = GetXYSpeed();
    // A park position edited into System.cfg by hand may lie outside the stage.
    const CStagePlan::Axes target = {AsSent(m_fParkX, 2), AsSent(m_fParkY, 2), AsSent(m_fParkZ, 2)};
    if (SendAbsoluteMove("Park refused", target, FormatParkMove(m_fParkX, m_fParkY, m_fParkZ, speed)))
        SendPositionQuery();
}

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
    const int button = JogButtonForKey(e->key(), e->nativeScanCode());
    if (button == 0)
        return false;
    if (!m_jogClock.isValid())
        m_jogClock.start();
    if (m_keyRepeats.IsStale(e->key(), e->isAutoRepeat(), e->timestamp(), m_jogClock.elapsed()))
        return true;
    m_keyRepeats.StepStarted(e->key(), m_jogClock.elapsed());
    OnJogButton(static_cast<UINT>(button));
    return true;
}
