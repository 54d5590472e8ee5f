// The position read-out and the slider thumbs after the link is gone: the last known position
// stays, dimmed and announced as such, until the next connection reports again.
#include <QAccessible>
#include <QLabel>
#include <QScrollBar>
#include <tuple>

#include "res/Resource.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

using PanelReadout = CConnectedStageTest;

QString Description(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Description) : QString();
}

constexpr int kPositionWidgets[] = {IDC_STATIC_CURPOS, IDC_SCROLL_X, IDC_SCROLL_Y, IDC_SCROLL_Z};

struct SLook {
    QString text;
    int x, y, z;
};

TEST_F(PanelReadout, TheLastPositionStaysDimmedAfterTheLinkIsGoneAndTheNextReportMakesItLive)
{
    const struct {
        const char* how;
        bool vanish;
    } cases[] = {{"Disconnect", false}, {"a vanished device", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        if (!Panel().m_bConnected)
            ConnectPanel();
        ReportPosition(12, 34, 56);
        auto* readout = Panel().DlgItem<QLabel>(IDC_STATIC_CURPOS);
        const auto look = [&] {
            return SLook{readout->text(), Panel().DlgItem<CScrollBarCtrl>(IDC_SCROLL_X)->GetScrollPos(),
                         Panel().DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y)->GetScrollPos(),
                         Panel().DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z)->GetScrollPos()};
        };
        const SLook live = look();
        EXPECT_TRUE(readout->isEnabled());
        for (int id : kPositionWidgets)
            EXPECT_EQ(Description(Panel().GetDlgItem(id)), "live position") << id;

        CMessageBoxAnswerer answerer;
        if (c.vanish)
            m_stage->Vanish();
        else
            Click(IDC_BTN_CONNECT);
        ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);

        const SLook stale = look();
        EXPECT_EQ(stale.text, live.text);
        EXPECT_EQ(std::tie(stale.x, stale.y, stale.z), std::tie(live.x, live.y, live.z));
        // Dim: drawn with the disabled colours, which differ from the live ones.
        EXPECT_FALSE(readout->isEnabled());
        EXPECT_NE(readout->palette().color(QPalette::Disabled, QPalette::WindowText),
                  readout->palette().color(QPalette::Active, QPalette::WindowText));
        for (int id : kPositionWidgets) {
            EXPECT_FALSE(Panel().GetDlgItem(id)->isEnabled()) << id;
            EXPECT_TRUE(Description(Panel().GetDlgItem(id)).startsWith("last known position")) << id;
        }
    }

    // The next connection: still the last known position until its first report.
    StartStage();
    Click(IDC_BTN_REFRESH);
    Click(IDC_BTN_CONNECT);
    EXPECT_FALSE(Panel().GetDlgItem(IDC_STATIC_CURPOS)->isEnabled());
    ASSERT_EVENTUALLY(Panel().m_bPositionLive, 5000);
    for (int id : kPositionWidgets) {
        EXPECT_EVENTUALLY(Panel().GetDlgItem(id)->isEnabled(), 5000);
        EXPECT_EQ(Description(Panel().GetDlgItem(id)), "live position") << id;
    }
}

} // namespace
