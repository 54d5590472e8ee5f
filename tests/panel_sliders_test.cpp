// The position sliders: thumbs that follow the reports, thumb releases, arrows and trough clicks,
// driven with the mouse where the exact traffic of a gesture matters.
#include <QApplication>
#include <QComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QContextMenuEvent>

#include "res/Resource.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

class PanelSliders : public CConnectedStageTest {
protected:
    CScrollBarCtrl* Bar(int id) { return Panel().DlgItem<CScrollBarCtrl>(id); }
    QRect Part(CScrollBarCtrl* bar, QStyle::SubControl part)
    {
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.subControls = QStyle::SC_All;
        opt.orientation = bar->orientation();
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = bar->sliderPosition();
        opt.sliderValue = bar->value();
        opt.singleStep = bar->singleStep();
        opt.pageStep = bar->pageStep();
        if (bar->orientation() == Qt::Horizontal)
            opt.state |= QStyle::State_Horizontal;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar);
    }
    WireLines ClickPart(int id, QStyle::SubControl part)
    {
        Forget();
        QTest::mouseClick(Bar(id), Qt::LeftButton, Qt::NoModifier, Part(Bar(id), part).center());
        return LinesAfterQuiet();
    }
    WireLines Release(int id, bool vertical, int pos)
    {
        Forget();
        if (vertical)
            Panel().OnVScroll(SB_THUMBPOSITION, static_cast<UINT>(pos), Bar(id));
        else
            Panel().OnHScroll(SB_THUMBPOSITION, static_cast<UINT>(pos), Bar(id));
        return LinesAfterQuiet();
    }
};

const WireLines kModes = {"G21\n", "G90\n"};

WireLines AbsoluteMove(const std::string& line)
{
    return {"G21\n", "G90\n", line, "M114\n", "M114\n"};
}

TEST_F(PanelSliders, AReleasedThumbMovesItsAxisTheOthersStayAtTheReport)
{
    m_stage->SendRaw("X:10.26 Y:20.04 Z:55.00 E:0.00\n");
    EXPECT_EVENTUALLY_EQ(Panel().m_fPosX, 10.26f, 5000);
    EXPECT_EQ(Release(IDC_SCROLL_Z, true, 150), AbsoluteMove("G0 X10.3 Y20.0 Z50.0 F5000\n"));
    EXPECT_EQ(Bar(IDC_SCROLL_Z)->value(), 150);
    // Each move is reported back, and the next release starts from that report.
    EXPECT_EQ(Release(IDC_SCROLL_Y, true, 0)[2], "G0 X10.3 Y300.0 Z50.0 F5000\n");
    EXPECT_EQ(Release(IDC_SCROLL_Y, true, 300)[2], "G0 X10.3 Y0.0 Z50.0 F5000\n");
    EXPECT_EQ(Release(IDC_SCROLL_X, false, 42)[2], "G0 X42.0 Y0.0 Z50.0 F5000\n");
    // The speed is always the X, Y speed, also for Z.
    Panel().SetDlgItemText(IDC_COMBO_XYSPEED, QStringLiteral("1200"));
    EXPECT_EQ(Release(IDC_SCROLL_Z, true, 0)[2], "G0 X42.0 Y0.0 Z200.0 F1200\n");
}

TEST_F(PanelSliders, ThumbsFollowTheReports)
{
    ReportPosition(-3, 150.7, 250);
    EXPECT_EQ(Bar(IDC_SCROLL_X)->value(), 0);     // the left end
    EXPECT_EQ(Bar(IDC_SCROLL_Y)->value(), 149);   // 300 - 150.7, truncated
    EXPECT_EQ(Bar(IDC_SCROLL_Z)->value(), 0);     // the top end
    // Its unmoved axes would leave the stage: the release is refused and the thumb goes back.
    EXPECT_EQ(Release(IDC_SCROLL_Y, true, 100), kModes);
    EXPECT_EQ(Bar(IDC_SCROLL_Y)->value(), 149);
    // A report far beyond any range still lands at an end.
    m_stage->SendRaw("X:1e30 Y:-1e30 Z:1e999 E:0\n");
    EXPECT_EVENTUALLY_EQ(Bar(IDC_SCROLL_X)->value(), 300, 5000);
    EXPECT_EQ(Bar(IDC_SCROLL_Y)->value(), 300);
    EXPECT_EQ(Bar(IDC_SCROLL_Z)->value(), 0);
}

TEST_F(PanelSliders, AnArrowStepsOneMillimetreOnceThenTheBoxesCountAgain)
{
    ReportPosition(100, 100, 100);
    Panel().DlgItem<QComboBox>(IDC_COMBO_XYDIST)->setCurrentIndex(3);   // 50.0
    const WireLines arrow = {"G21\n", "G90\n", "G21\n", "G91\n", "G0 X1.00 F5000\n", "M114\n", "M114\n", "G21\n", "G90\n"};
    EXPECT_EQ(ClickPart(IDC_SCROLL_X, QStyle::SC_ScrollBarAddLine), arrow);
    EXPECT_EQ(Bar(IDC_SCROLL_X)->value(), 101);   // moved by the report, not by the click
    Forget();
    Click(IDC_BTN_XPLUS);
    EXPECT_EQ(LinesAfterQuiet()[2], "G0 X50.00 F5000\n");
    // Up on the vertical sliders is the + direction; Z steps use the Z speed.
    EXPECT_EQ(ClickPart(IDC_SCROLL_Y, QStyle::SC_ScrollBarSubLine)[4], "G0 Y1.00 F5000\n");
    EXPECT_EQ(ClickPart(IDC_SCROLL_Z, QStyle::SC_ScrollBarAddLine)[4], "G0 Z-1.00 F3000\n");
    // An arrow past the envelope sends only the mode lines.
    ReportPosition(10, 299.5, 10);
    EXPECT_EQ(ClickPart(IDC_SCROLL_Y, QStyle::SC_ScrollBarSubLine),
              WireLines({"G21\n", "G90\n", "G21\n", "G91\n", "G21\n", "G90\n"}));
}

TEST_F(PanelSliders, TroughClicksAndDraggingMoveNothing)
{
    ReportPosition(100, 100, 100);
    EXPECT_EQ(ClickPart(IDC_SCROLL_X, QStyle::SC_ScrollBarAddPage), WireLines({"G21\n", "G90\n", "G21\n", "G90\n"}));
    EXPECT_EQ(Bar(IDC_SCROLL_X)->value(), 100);

    CScrollBarCtrl* bar = Bar(IDC_SCROLL_X);
    const QPoint start = Part(bar, QStyle::SC_ScrollBarSlider).center();
    Forget();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, start);
    for (int dx = 4; dx <= 12; dx += 4) {
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)), bar->mapToGlobal(QPointF(start + QPoint(dx, 0))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
    }
    const WireLines dragging = LinesAfterQuiet();
    ASSERT_FALSE(dragging.empty());
    EXPECT_EQ(dragging.size() % 2, 0u);
    for (size_t i = 0; i < dragging.size(); i += 2)
        EXPECT_EQ(WireLines(dragging.begin() + i, dragging.begin() + i + 2), kModes);
    // Letting go moves X to where the thumb is, and the end of the scroll adds its mode lines.
    const int pos = bar->sliderPosition();
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, start + QPoint(12, 0));
    const WireLines all = LinesAfterQuiet();
    const WireLines tail(all.begin() + static_cast<long>(dragging.size()), all.end());
    const std::string move = "G0 X" + std::to_string(pos) + ".0 Y100.0 Z100.0 F5000\n";
    EXPECT_EQ(tail, WireLines({"G21\n", "G90\n", move, "M114\n", "M114\n", "G21\n", "G90\n"}));
}

// Neither has a scroll code: the wheel would move a thumb away from the stage, Qt's menu offers
// "Scroll here" and "Top" that send nothing that moves it.
TEST_F(PanelSliders, TheWheelAndTheScrollBarMenuDoNothing)
{
    ReportPosition(100, 100, 100);
    for (int id : {IDC_SCROLL_X, IDC_SCROLL_Y, IDC_SCROLL_Z}) {
        SCOPED_TRACE(id);
        CScrollBarCtrl* bar = Bar(id);
        const int before = bar->value();
        const QPointF at = bar->rect().center();
        QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
        bool menuShown = false;
        QTimer::singleShot(100, [&menuShown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at.toPoint(), bar->mapToGlobal(at.toPoint()));
        QApplication::sendEvent(bar, &menu);
        QTest::qWait(150);
        EXPECT_FALSE(menuShown);
        EXPECT_EQ(bar->value(), before);
        EXPECT_EQ(LinesAfterQuiet(), WireLines{});
    }
}

} // namespace
