// The status button, as far as the panel uses it: it keeps the button hidden and only swaps its
// icon (placed right of the caption) and its text. The button's other looks and behaviours never
// reach the operator, so they are not tested here.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "controls/ButtonST.h"
#include "platform/DialogBase.h"
#include "res/Resource.h"
#include "res/Resources.h"

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;   // icon pixels, found nowhere else
constexpr QRgb kRestBack = 0xFFFFFFFF;

QPixmap Solid(QRgb c, int size = 16)
{
    QPixmap pm(size, size);
    pm.fill(QColor::fromRgba(c));
    return pm;
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
        CButtonST b;
        b.resize(120, 40);
        b.setText(c.text);
        b.SetColor(CButtonST::BTNST_COLOR_BK_OUT, QColor::fromRgb(kRestBack));
        ASSERT_EQ(b.SetButtonIcons(CreateButtonIcon(Solid(kMagenta)), nullptr), 0);
        b.SetImagePlace(c.place);
        const QImage img = b.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(Find(img, {kMagenta}), QRect(c.icon, QSize(16, 16)));
        const QRect ink = Find(img, {kRestBack, kMagenta}, true, img.rect().adjusted(1, 1, -1, -1));
        if (c.text.isEmpty()) {
            EXPECT_TRUE(ink.isNull());
            continue;
        }
        ASSERT_FALSE(ink.isNull());
        EXPECT_TRUE(c.captionArea.contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
        EXPECT_NEAR(ink.center().x(), c.captionArea.center().x(), 2);
    }
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
