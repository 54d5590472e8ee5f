// The panel's construction, initialisation, message map, lists and painting.
#include "qt/panel/TarnikMDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>

#include <chrono>

#include "qt/panel/AboutDlg.h"
#include "qt/controls/ButtonST.h"
#include "qt/panel/ConfigFile.h"
#include "qt/platform/NamedMessages.h"
#include "core/Numbers.h"
#include "res/Resource.h"
#include "qt/res/Resources.h"
#include "serial/PortInfo.h"
#include "qt/serial/SerialWnd.h"

namespace {

long long SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CTarnikMDlg::CTarnikMDlg(QWidget* parent)
    : CDialogBase({FindDialogTemplate(IDD_TARNIKM_DIALOG), LoadResIcon}, parent),
      m_hIcon(LoadResIcon(IDR_MAINFRAME)),
      m_session({[](std::string_view section, std::string_view key) {
                     return ReadConfigString(g_strConfigFile, QString::fromLatin1(section.data(), static_cast<qsizetype>(section.size())),
                                             QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())))
                         .toStdString();
                 },
                 [this](EControl control) { return BoxText(control); }, SteadyMs})
{
}

// Dropping the port object closes the port and stops its listener before the window goes, so no
// notification can be posted to a panel that no longer exists.
CTarnikMDlg::~CTarnikMDlg() = default;

BOOL CTarnikMDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    BindControls();
    m_expander.Init(this);
    SetUpWindow();
    // System.cfg is found first: the baud list shows the stored rate from the start.
    InitModuleDir();
    g_strConfigFile = BuildConfigPath();
    EnumeratePorts();
    FillSpeedDistanceLists();
    InitSliders();
    m_pSerial = std::make_unique<CSerialMFC>();
    SetUpStatusButton();
    // The rest is the session's: the controls as System.cfg left them.
    Run(m_session.Start());
    SetUpKeyboardAndNames();
    SetUpPortList();
    return TRUE;
}

// The controls the handlers use, found once.
void CTarnikMDlg::BindControls()
{
    m_cmbPort = DlgItem<QComboBox>(IDC_COMBO_PORT);
    m_cmbBaud = DlgItem<QComboBox>(IDC_COMBO_BAUD);
    m_lblConnIcon = DlgItem<QLabel>(IDC_ICON_CONN);
    m_sbX = DlgItem<CScrollBarCtrl>(IDC_SCROLL_X);
    m_sbY = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y);
    m_sbZ = DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z);
}

void CTarnikMDlg::SetUpWindow()
{
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
    // The version label is drawn light grey.
    if (auto* version = DlgItem<QLabel>(IDC_STATIC_VERSION)) {
        QPalette pal = version->palette();
        pal.setColor(QPalette::WindowText, QColor(195, 195, 195));
        version->setPalette(pal);
    }
}

void CTarnikMDlg::SetUpStatusButton()
{
    m_btnStatus = new CButtonST;
    m_btnStatus->SubclassDlgItem(IDC_BTN_STATUS, this);
    m_btnStatus->SetImagePlace(CButtonST::IMAGE_RIGHT);
}

// Asks first; a connected panel keeps its jog boxes (and its last position, when asked to) before
// it asks.
void CTarnikMDlg::OnClose() { Run(m_session.CloseRequested()); }

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

// The sliders span the stage; Y and Z count from the top, so that up is the + direction.
void CTarnikMDlg::InitSliders()
{
    const struct {
        CScrollBarCtrl* bar;
        float max;
        bool fromTop;
    } sliders[] = {{m_sbX, STAGE_X_MAX, false}, {m_sbY, STAGE_Y_MAX, true}, {m_sbZ, STAGE_Z_MAX, true}};
    for (const auto& s : sliders) {
        s.bar->SetScrollRange(0, static_cast<int>(s.max));
        s.bar->SetScrollPos(s.fromTop ? static_cast<int>(s.max) : 0);
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
