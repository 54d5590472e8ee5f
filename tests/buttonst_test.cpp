// The owner-drawn button, rendered on the offscreen platform and read back pixel by pixel.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "controls/ButtonST.h"
#include "platform/DialogBase.h"
#include "res/Resource.h"
#include "res/Resources.h"

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;   // icon pixels, found nowhere else
constexpr QRgb kHotBack = 0xFFFFFF00;
constexpr QRgb kRestBack = 0xFFFFFFFF;
constexpr QRgb kFocusBack = 0xFF00FFFF;

// A button whose template type can be fed in directly.
class CTestButton : public CButtonST {
public:
    using CButtonST::PreSubclassWindow;
};

QPixmap Solid(QRgb c, int size = 16)
{
    QPixmap pm(size, size);
    pm.fill(QColor::fromRgba(c));
    return pm;
}

std::unique_ptr<CTestButton> MakeButton(QSize size, const QString& text, DWORD type = BS_PUSHBUTTON)
{
    auto b = std::make_unique<CTestButton>();
    b->PreSubclassWindow(type);
    b->resize(size);
    b->setText(text);
    b->SetColor(CButtonST::BTNST_COLOR_BK_IN, QColor::fromRgb(kHotBack));
    b->SetColor(CButtonST::BTNST_COLOR_BK_OUT, QColor::fromRgb(kRestBack));
    b->SetColor(CButtonST::BTNST_COLOR_BK_FOCUS, QColor::fromRgb(kFocusBack));
    for (int i : {CButtonST::BTNST_COLOR_FG_IN, CButtonST::BTNST_COLOR_FG_OUT, CButtonST::BTNST_COLOR_FG_FOCUS})
        b->SetColor(i, Qt::blue);
    return b;
}

QImage Render(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels inside `area` that match (or, with `invert`, differ from all of) colours.
QRect Find(const QImage& img, std::initializer_list<QRgb> colours, bool invert = false, QRect area = {})
{
    if (area.isNull())
        area = img.rect();
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const bool match = std::find(colours.begin(), colours.end(), img.pixel(x, y)) != colours.end();
            if (match != invert)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

QRect Ink(const QImage& img, QRgb back) { return Find(img, {back, kMagenta}, true, img.rect().adjusted(1, 1, -1, -1)); }

void SendMouse(QWidget& w, QEvent::Type type, Qt::MouseButtons buttons, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF pos(w.width() / 2.0, w.height() / 2.0);
    QMouseEvent e(type, pos, w.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// Shows a window away from the pointer, so that no hover starts behind the test's back.
bool ShowActive(QWidget& w)
{
    QCursor::setPos(-1000, -1000);
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

} // namespace

TEST(ButtonST, ImageIsPlacedAndCaptionKeepsClearOfIt)
{
    // On a 120 x 40 button: the icon's top-left corner, and where the caption's ink must lie,
    // centred horizontally.
    struct Case { BYTE place; QString text; QPoint icon; QRect captionArea; };
    const Case cases[] = {
        {CButtonST::IMAGE_RIGHT, "", {52, 0}, {}},
        {CButtonST::IMAGE_RIGHT, "Go", {101, 12}, QRect(3, 0, 98, 40)},
        {CButtonST::IMAGE_LEFT, "Go", {3, 12}, QRect(22, 0, 98, 40)},
        {CButtonST::IMAGE_LEFT, "", {52, 12}, {}},
        {CButtonST::IMAGE_ABOVE, "Go", {52, 3}, QRect(0, 16, 120, 24)},
        {CButtonST::IMAGE_ABOVE, "", {52, 12}, {}},
        {7, "Go", {0, 0}, QRect(0, 0, 120, 40)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "place " << int(c.place) << " text '" << c.text.toStdString() << "'");
        auto b = MakeButton({120, 40}, c.text);
        ASSERT_EQ(b->SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), nullptr), 0);
        b->SetImagePlace(c.place);
        const QImage img = Render(*b);
        EXPECT_EQ(Find(img, {kMagenta}), QRect(c.icon, QSize(16, 16)));
        const QRect ink = Ink(img, kRestBack);
        if (c.text.isEmpty()) {
            EXPECT_TRUE(ink.isNull());
            continue;
        }
        ASSERT_FALSE(ink.isNull());
        EXPECT_TRUE(c.captionArea.contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
        EXPECT_NEAR(ink.center().x(), c.captionArea.center().x(), 2);
    }
}

TEST(ButtonST, PressedPushButtonSinksWhileCheckedCheckBoxStaysPut)
{
    auto push = MakeButton({120, 40}, "Go");
    push->SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), nullptr);
    const QImage up = Render(*push);
    push->setDown(true);
    const QImage down = Render(*push);
    EXPECT_EQ(Find(down, {kMagenta}), Find(up, {kMagenta}).translated(1, 1));
    EXPECT_EQ(Ink(down, kHotBack), Ink(up, kRestBack).translated(1, 1));
    EXPECT_EQ(down.pixel(60, 2), kHotBack);

    auto box = MakeButton({120, 40}, "Go", BS_AUTOCHECKBOX);
    box->SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), nullptr);
    const QImage unchecked = Render(*box);
    box->SetCheck(1);
    const QImage checked = Render(*box);
    EXPECT_EQ(checked.pixel(60, 2), kHotBack) << "a checked box is drawn pressed";
    EXPECT_EQ(Find(checked, {kMagenta}), Find(unchecked, {kMagenta}));
    EXPECT_EQ(Ink(checked, kHotBack), Ink(unchecked, kRestBack));
}

TEST(ButtonST, GreyAndDimRestIconsFollowTheFormulasAndKeepBlackAndAlpha)
{
    QImage src(7, 1, QImage::Format_ARGB32);
    const QRgb in[] = {qRgb(0, 0, 0), qRgb(200, 100, 50), qRgb(255, 255, 255), qRgb(1, 2, 3),
                       qRgb(128, 128, 128), qRgba(0, 0, 0, 0), qRgba(200, 100, 50, 128)};
    for (int x = 0; x < 7; ++x)
        src.setPixel(x, 0, in[x]);
    struct Case { HICON kind; QRgb out[5]; };
    // Mid grey lands just below 128 in double precision, and has always been drawn so.
    const Case cases[] = {
        {ICON_REST_GREY, {qRgb(0, 0, 0), qRgb(124, 124, 124), qRgb(255, 255, 255), qRgb(1, 1, 1), qRgb(127, 127, 127)}},
        {ICON_REST_DIM, {qRgb(0, 0, 0), qRgb(150, 75, 37), qRgb(191, 191, 191), qRgb(0, 1, 2), qRgb(96, 96, 96)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind == ICON_REST_GREY ? "grey" : "dim");
        CButtonST b;
        ASSERT_EQ(b.SetButtonIcons(CreateButtonIcon(QPixmap::fromImage(src)), c.kind), 0);
        ASSERT_NE(b.GetIcon(CButtonST::ICON_REST), nullptr);
        EXPECT_EQ(b.GetIconSize(CButtonST::ICON_REST), QSize(7, 1));
        const QImage rest = b.GetIcon(CButtonST::ICON_REST)->image.convertToFormat(QImage::Format_ARGB32);
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(rest.pixel(x, 0), c.out[x]) << "pixel " << x;
        EXPECT_EQ(qAlpha(rest.pixel(5, 0)), 0);
        EXPECT_EQ(qAlpha(rest.pixel(6, 0)), 128);
        // The hot icon is left as it was given.
        EXPECT_EQ(b.GetIcon(CButtonST::ICON_HOT)->image.convertToFormat(QImage::Format_ARGB32).pixel(1, 0), in[1]);
    }
}

TEST(ButtonST, NoHotIconClearsEveryImageAndUnreadableIconsFail)
{
    struct Case { const char* name; bool hotReadable, restGiven, restReadable; int result; };
    const Case cases[] = {
        {"no hot, no rest", false, false, false, 0},
        {"no hot, a rest", false, true, true, 0},
        {"unreadable hot", false, false, false, 1},
        {"unreadable hot, good rest", false, true, true, 1},
        {"good hot, unreadable rest", true, true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto b = MakeButton({60, 30}, "");
        ASSERT_EQ(b->SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), ICON_REST_DIM), 0);
        const bool noHot = c.result == 0;
        HICON hot = noHot ? nullptr : CreateButtonIcon(c.hotReadable ? Solid(kMagenta) : QPixmap());
        HICON rest = c.restGiven ? CreateButtonIcon(c.restReadable ? Solid(kMagenta) : QPixmap()) : nullptr;
        EXPECT_EQ(b->SetButtonIcons(hot, rest), c.result);
        EXPECT_EQ(b->GetIcon(CButtonST::ICON_HOT), nullptr);
        EXPECT_EQ(b->GetIcon(CButtonST::ICON_REST), nullptr);
        EXPECT_TRUE(Ink(Render(*b), kRestBack).isNull()) << "nothing but background is drawn";
    }
}

TEST(ButtonST, CheckStateOnlyMeansSomethingToACheckBox)
{
    struct Case { DWORD type; int set, get; };
    const Case cases[] = {
        {BS_AUTOCHECKBOX, 1, 1}, {BS_AUTOCHECKBOX, 2, 1}, {BS_AUTOCHECKBOX, 3, 0}, {BS_AUTOCHECKBOX, 0, 0},
        {BS_PUSHBUTTON, 1, 0},   {BS_PUSHBUTTON, 2, 0},
    };
    for (const Case& c : cases) {
        auto b = MakeButton({60, 30}, "x", c.type);
        if (c.set == 0)
            b->SetCheck(1);
        b->SetCheck(c.set);
        EXPECT_EQ(b->GetCheck(), c.get) << "type " << c.type << " set " << c.set;
    }
}

TEST(ButtonST, TypeBitsDecideCheckBoxAndDefaultWhileTypeStaysOwnerDrawn)
{
    struct Case { DWORD type; bool checkBox, isDefault; };
    const Case cases[] = {{BS_PUSHBUTTON, false, false}, {BS_DEFPUSHBUTTON, false, true}, {BS_CHECKBOX, true, false},
                          {BS_AUTOCHECKBOX, true, false}, {4, false, false},            {BS_3STATE, false, false},
                          {BS_AUTO3STATE, true, false},  {9, false, false},             {BS_OWNERDRAW, true, false}};
    for (const Case& c : cases) {
        CTestButton b;
        b.PreSubclassWindow(WS_TABSTOP | c.type);
        EXPECT_EQ(bool(b.IsCheckBox()), c.checkBox) << "type " << c.type;
        EXPECT_EQ(bool(b.IsDefaultButton()), c.isDefault) << "type " << c.type;
        EXPECT_EQ(b.GetButtonStyle(), WS_TABSTOP | BS_OWNERDRAW);
    }
    // The dialog moving the default button around changes the flag, never the type.
    CButtonST b;
    const std::pair<DWORD, bool> steps[] = {{BS_DEFPUSHBUTTON, true}, {BS_CHECKBOX, true}, {BS_PUSHBUTTON, false}};
    for (auto [style, isDefault] : steps) {
        b.SetButtonStyle(style);
        EXPECT_EQ(bool(b.IsDefaultButton()), isDefault) << "style " << style;
        EXPECT_EQ(b.isDefault(), isDefault);
        EXPECT_EQ(b.GetButtonStyle() & BS_TYPEMASK, BS_OWNERDRAW);
    }
}

TEST(ButtonST, HoverWaitsForTheLeftButtonToBeReleased)
{
    auto b = MakeButton({60, 30}, "");
    b->SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), ICON_REST_GREY);
    const QRgb grey = qRgb(105, 105, 105);   // magenta through the grey formula

    SendMouse(*b, QEvent::MouseMove, Qt::LeftButton);
    EXPECT_FALSE(b->IsMouseOver());
    QImage img = Render(*b);
    EXPECT_EQ(img.pixel(1, 1), kRestBack);
    EXPECT_FALSE(Find(img, {grey}).isNull()) << "the rest icon shows at rest";

    SendMouse(*b, QEvent::MouseMove, Qt::NoButton);
    EXPECT_TRUE(b->IsMouseOver());
    img = Render(*b);
    EXPECT_EQ(img.pixel(1, 1), kHotBack);
    EXPECT_FALSE(Find(img, {kMagenta}).isNull()) << "the hot icon shows while hovering";

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b.get(), &leave);
    EXPECT_FALSE(b->IsMouseOver());

    b->SetFlat(FALSE);
    SendMouse(*b, QEvent::MouseMove, Qt::NoButton);
    EXPECT_FALSE(b->IsMouseOver()) << "only the flat style tracks hover";
}

TEST(ButtonST, DoubleClickCountsAsTwoClicks)
{
    auto b = MakeButton({60, 30}, "x", BS_AUTOCHECKBOX);
    QSignalSpy clicks(b.get(), &QAbstractButton::clicked);
    SendMouse(*b, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    SendMouse(*b, QEvent::MouseButtonRelease, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(b->GetCheck(), 1);
    SendMouse(*b, QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
    SendMouse(*b, QEvent::MouseButtonRelease, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(b->GetCheck(), 0);
}

TEST(ButtonST, DisablingMovesFocusToNextTabStopOrTheParent)
{
    struct Case { const char* name; bool withNeighbours, buttonHadFocus; };
    const Case cases[] = {{"button had focus", true, true}, {"neighbour had focus", true, false}, {"alone", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget parent;
        parent.resize(300, 60);
        QWidget* before = c.withNeighbours ? static_cast<QWidget*>(new QPushButton("a", &parent)) : new QLabel("a", &parent);
        auto* button = new CButtonST;
        button->setParent(&parent);
        QWidget* after = c.withNeighbours ? new QPushButton("c", &parent) : nullptr;
        ASSERT_TRUE(ShowActive(parent));
        (c.buttonHadFocus ? static_cast<QWidget*>(button) : before)->setFocus();
        button->setEnabled(false);
        EXPECT_EQ(QApplication::focusWidget(), after ? after : &parent);
    }
}

TEST(ButtonST, PaletteOrStyleChangeRestoresSystemColours)
{
    const std::unique_ptr<QStyle> windows(QStyleFactory::create("Windows"));
    const std::function<void(QWidget&)> changes[] = {
        [](QWidget& w) {
            QPalette pal = w.palette();
            pal.setColor(QPalette::Button, QColor(10, 20, 30));
            pal.setColor(QPalette::ButtonText, QColor(200, 0, 0));
            w.setPalette(pal);
        },
        [&](QWidget& w) { w.setStyle(windows.get()); },
    };
    for (const auto& change : changes) {
        auto b = MakeButton({60, 30}, "");
        change(*b);
        const QColor face = b->palette().color(QPalette::Active, QPalette::Button);
        const QColor text = b->palette().color(QPalette::Active, QPalette::ButtonText);
        for (int i = 0; i < CButtonST::BTNST_MAX_COLORS; ++i)
            EXPECT_EQ(b->GetColor(i), i % 2 ? text : face) << "colour " << i;
        EXPECT_EQ(Render(*b).pixel(30, 15), face.rgb());
    }
}

TEST(ButtonST, OnlyTheRaisedStyleShowsFrameAndFocusRectangle)
{
    struct Case { const char* name; bool flat, focused, isDefault; bool blackFrame, focusRect; };
    const Case cases[] = {
        {"flat focused", true, true, false, false, false},  {"flat default", true, false, true, false, false},
        {"raised focused", false, true, false, true, true}, {"raised default", false, false, true, true, false},
        {"raised plain", false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget parent;
        auto* b = MakeButton({80, 30}, "").release();
        b->setParent(&parent);
        b->SetFlat(c.flat ? TRUE : FALSE);
        b->SetDefaultButton(c.isDefault ? TRUE : FALSE);
        ASSERT_TRUE(ShowActive(parent));
        if (c.focused)
            b->setFocus();
        else
            b->clearFocus();
        ASSERT_EQ(b->hasFocus(), c.focused);
        const QImage img = Render(*b);
        const QRgb back = c.focused ? kFocusBack : kRestBack;
        EXPECT_EQ(img.pixel(0, 0) == qRgb(0, 0, 0), c.blackFrame);
        if (!c.flat && !c.blackFrame) {
            EXPECT_EQ(img.pixel(0, 0), b->palette().color(QPalette::Active, QPalette::Light).rgb());
            EXPECT_EQ(img.pixel(79, 29), b->palette().color(QPalette::Active, QPalette::Shadow).rgb());
        }
        EXPECT_EQ(!Find(img, {back}, true, QRect(3, 3, 74, 24)).isNull(), c.focusRect);
    }
}

namespace {
class CRecordingDialog : public CDialogBase {
public:
    CRecordingDialog() : CDialogBase(102) {}
    CButtonST* m_pButton = nullptr;
    std::vector<std::pair<int, int>> m_commands;   // ID, check state seen by the handler

protected:
    void OnCommand(int id) override { m_commands.emplace_back(id, m_pButton ? m_pButton->GetCheck() : -1); }
};
} // namespace

TEST(ButtonST, ClickOnCheckBoxTogglesBeforeTheDialogHearsOfIt)
{
    CRecordingDialog dlg;
    ASSERT_TRUE(dlg.Create());
    auto* b = new CTestButton;
    b->PreSubclassWindow(BS_AUTOCHECKBOX);
    ASSERT_TRUE(b->SubclassDlgItem(IDC_BTN_STATUS, &dlg));
    dlg.m_pButton = b;
    b->click();
    b->click();
    const std::vector<std::pair<int, int>> expected{{IDC_BTN_STATUS, 1}, {IDC_BTN_STATUS, 0}};
    EXPECT_EQ(dlg.m_commands, expected);
}

TEST(ButtonST, StatusButtonChangesIconAndTextAndStaysHidden)
{
    CDialogBase dlg(102);
    ASSERT_TRUE(dlg.Create());
    auto* b = new CButtonST;
    ASSERT_TRUE(b->SubclassDlgItem(IDC_BTN_STATUS, &dlg));
    EXPECT_EQ(dlg.GetDlgItem(IDC_BTN_STATUS), b);
    EXPECT_FALSE(b->IsCheckBox());
    EXPECT_EQ(b->property("dlgStyle").toUInt() & BS_TYPEMASK, BS_OWNERDRAW);

    const auto setStatus = [&](int icon, const QString& text) {
        EXPECT_EQ(b->SetButtonIcons(CreateButtonIcon(LoadResIcon(icon)), nullptr), 0);
        b->SetImagePlace(CButtonST::IMAGE_RIGHT);
        dlg.SetDlgItemText(IDC_BTN_STATUS, text);
        EXPECT_EQ(b->GetIcon(CButtonST::ICON_HOT)->image,
                  LoadResIcon(icon).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
        EXPECT_EQ(b->GetIcon(CButtonST::ICON_REST), nullptr);
        EXPECT_EQ(b->GetIconSize(CButtonST::ICON_HOT), QSize(16, 16));
        EXPECT_EQ(dlg.GetDlgItemText(IDC_BTN_STATUS), text);
    };
    setStatus(IDI_DISCONNECTED, "Disconnected");
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    setStatus(IDI_CONNECTED, "Connected");
    EXPECT_EQ(b->GetImagePlace(), CButtonST::IMAGE_RIGHT);
    EXPECT_FALSE(b->isVisible());
}
