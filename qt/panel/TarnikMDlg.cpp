// The panel's construction, initialisation, message map, lists and painting.
#include "qt/panel/TarnikMDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>

#include "qt/panel/AboutDlg.h"
#include "qt/controls/ButtonST.h"
#include "qt/panel/ConfigFile.h"
#include "qt/platform/NamedMessages.h"
#include "core/Numbers.h"
#include "res/Resource.h"
#include "qt/res/Resources.h"
#include "serial/PortInfo.h"
#include "qt/serial/SerialWnd.h"

CTarnikMDlg::CTarnikMDlg(QWidget* parent)
    : CDialogBase({FindDialogTemplate(IDD_TARNIKM_DIALOG), LoadResIcon}, parent),
      m_hIcon(LoadResIcon(IDR_MAINFRAME))
{
}

// Dropping the port object closes the port and stops its listener before the window goes, so no
// notification can be posted to a panel that no longer exists.
CTarnikMDlg::~CTarnikMDlg() = default;

BOOL CTarnikMDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    m_expander.Init(this);

    const QString about = LoadResString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        AppendSystemMenuSeparator();
        AppendSystemMenuItem(IDM_ABOUTBOX, about);
    }

    setWindowIcon(LoadResIconSet(IDR_MAINFRAME));
    // A panel of fixed size: no resizing, no maximising; it has its own task bar entry.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());

    m_fPosX = m_fPosY = m_fPosZ = 0;
    m_fStartX = m_fStartY = m_fStartZ = 0;
    m_nConnectPhase = CONNECT_PHASE_IDLE;
    m_bSliderStep = FALSE;
    m_fParkX = PARK_DEFAULT_X;
    m_fParkY = PARK_DEFAULT_Y;
    m_fParkZ = PARK_DEFAULT_Z;

    EnumeratePorts();
    FillSpeedDistanceLists();
    m_bConnected = FALSE;
    SetConnectedState(FALSE);
    InitSliders();
    OnBnClickedReset();

    InitModuleDir();
    g_strConfigFile = BuildConfigPath();
    if (FileExists(g_strConfigFile))
        LoadSpeedsAndDistances();

    m_bAlwaysOnTop = LoadAlwaysOnTop();
    PlaceTopMost(m_bAlwaysOnTop);
    CheckDlgButton(IDC_CHECK_ONTOP, m_bAlwaysOnTop ? 1 : 0);

    m_bRetainLastPos = FALSE;
    LoadRetainLastPos();

    if (!LoadExpanderState())
        OnBnClickedMoreLess();

    m_pSerial = std::make_unique<CSerialMFC>();
    m_bReadyToConnect = TRUE;

    m_btnStatus = new CButtonST;
    m_btnStatus->SubclassDlgItem(IDC_BTN_STATUS, this);
    m_btnStatus->SetButtonIcons(CreateButtonIcon(LoadResIcon(IDI_DISCONNECTED)), nullptr);
    m_btnStatus->SetImagePlace(CButtonST::IMAGE_RIGHT);
    SetDlgItemText(IDC_BTN_STATUS, QStringLiteral("Disconnected"));

    LoadParkPosition();

    // The version label is drawn light grey.
    if (auto* version = DlgItem<QLabel>(IDC_STATIC_VERSION)) {
        QPalette pal = version->palette();
        pal.setColor(QPalette::WindowText, QColor(195, 195, 195));
        version->setPalette(pal);
    }
    SetUpKeyboardAndNames();
    SetUpPortList();
    SetPositionLive(false);
    return TRUE;
}

void CTarnikMDlg::OnAboutBox()
{
    CAboutDlg dlgAbout(this);
    dlgAbout.DoModal();
}

void CTarnikMDlg::paintEvent(QPaintEvent* e)
{
    if (m_nPortListState == EPortListAfterPaint)   // the window is up: the port list comes next
        QTimer::singleShot(0, this, [this] {
            if (m_nPortListState == EPortListAfterPaint)
                RefreshPortList();
        });
    if (!isMinimized()) {
        CDialogBase::paintEvent(e);
        return;
    }
    QPainter painter(this);
    const int cx = style()->pixelMetric(QStyle::PM_LargeIconSize);
    const QPixmap icon = m_hIcon.scaled(cx, cx, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2, icon);
}

void CTarnikMDlg::FillSpeedDistanceLists()
{
    const auto fill = [this](int id, const QStringList& entries, int selected) {
        auto* combo = DlgItem<QComboBox>(id);
        if (!combo)
            return;
        combo->clear();
        if (combo->isEditable())
            combo->clearEditText();
        for (int i = 0; i < entries.size(); ++i)
            combo->insertItem(i, entries[i]);
        combo->setCurrentIndex(selected);
    };
    const auto dist = [](double v) { return QString::fromStdString(FormatC("%.1f", v)); };
    const auto speed = [](int v) { return QString::fromStdString(FormatC("%d", v)); };
    const auto deflt = [](int v) { return QString::fromStdString(FormatC("%d (Default)", v)); };
    const QString hint = QStringLiteral("or enter 50 to 5000");

    fill(IDC_COMBO_XYDIST, {dist(0.1), dist(1), dist(10), dist(50)}, 1);
    fill(IDC_COMBO_ZDIST, {QStringLiteral("0.02"), dist(0.1), dist(1), dist(10), dist(50)}, 2);
    fill(IDC_COMBO_XYSPEED, {speed(1000), speed(2000), speed(3000), speed(4000), deflt(5000), hint}, 4);
    fill(IDC_COMBO_ZSPEED, {speed(1000), speed(2000), deflt(3000), speed(4000), speed(5000), hint}, 2);
}

void CTarnikMDlg::InitSliders()
{
    const struct {
        int id;
        int max;
        int pos;
    } sliders[] = {{IDC_SCROLL_X, 300, 0}, {IDC_SCROLL_Y, 300, 300}, {IDC_SCROLL_Z, 200, 200}};
    for (const auto& s : sliders)
        if (auto* bar = DlgItem<CScrollBarCtrl>(s.id)) {
            bar->SetScrollRange(0, s.max);
            bar->SetScrollPos(s.pos);
        }
}

void CTarnikMDlg::PlaceTopMost(bool topMost)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topMost)
        return;
    const bool visible = isVisible();
    const QPoint where = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    // Changing a window's flags hides it; put it back where it was.
    if (visible) {
        move(where);
        show();
    }
}
