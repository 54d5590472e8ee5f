#include "tests/support/PanelFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "qt/platform/TraceLog.h"
#include "platform/FileLocations.h"
#include "qt/res/Resources.h"

CMessageBoxAnswerer::CMessageBoxAnswerer(QString answer) : m_answer(std::move(answer)), m_timer(new QTimer)
{
    QObject::connect(m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer->start(20);
}

CMessageBoxAnswerer::~CMessageBoxAnswerer()
{
    delete m_timer;
}

void CMessageBoxAnswerer::Poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    SSeen seen{box->text(), box->windowTitle(), {}, static_cast<int>(box->icon())};
    QAbstractButton* toPress = nullptr;
    for (QAbstractButton* b : box->buttons()) {
        QString text = b->text();
        text.remove(QLatin1Char('&'));
        seen.buttons.append(text);
        if (text == m_answer)
            toPress = b;
    }
    m_seen.push_back(seen);
    if (m_whileShown) {
        m_timer->stop();
        m_whileShown();
        m_timer->start(20);
    }
    if (toPress)
        toPress->click();
    else
        box->reject();
}

void CPanelTest::SetUp()
{
    platform::SetDataDirOverride(m_dir.Path());
    platform::SetDeviceDirOverride(m_devices.Path());
    ClearResStringOverrides();
}

void CPanelTest::TearDown()
{
    m_panel.reset();
    g_bTraceEnabled = FALSE;
    g_strTraceFile.clear();
}

void CPanelTest::CaptureLog()
{
    g_strTraceFile = QString::fromStdString(m_dir.File("TarnikS_log.txt"));
    g_bTraceEnabled = TRUE;
    g_bTraceTimeStamp = FALSE;
}

CTarnikMDlg& CPanelTest::OpenPanel(bool listPortsAtOnce)
{
    m_panel = std::make_unique<CTarnikMDlg>();
    m_panel->Create();
    m_panel->show();
    if (listPortsAtOnce)
        m_panel->RefreshPortList();
    return *m_panel;
}

void CPanelTest::ClosePanel()
{
    m_panel.reset();
}

bool CPanelTest::Enabled(int id) const
{
    QWidget* w = m_panel->GetDlgItem(id);
    return w && w->isEnabled();
}

void CPanelTest::Click(int id)
{
    auto* b = m_panel->DlgItem<QAbstractButton>(id);
    ASSERT_NE(b, nullptr) << "no button " << id;
    ASSERT_TRUE(b->isEnabled()) << "button " << id << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}
