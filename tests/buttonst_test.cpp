// The status button, as far as the panel uses it: hidden, its icon placed right of the caption. Its
// other looks never reach the operator, and the panel's tests see its icon and text swapped.
#include <QPixmap>
#include <gtest/gtest.h>

#include "qt/controls/ButtonST.h"
#include "qt/platform/DialogBase.h"
#include "qt/res/Resources.h"
#include "res/Resource.h"

// The panel's status button: its icon right of the caption, within the margin; the caption centred
// in what is left.
TEST(ButtonST, TheStatusButtonPlacesItsIconRightOfTheCentredCaption)
{
    constexpr QRgb kMagenta = 0xFFFF00FF, kRestBack = 0xFFFFFFFF;   // the icon's pixels, found nowhere else
    CDialogBase dlg({FindDialogTemplate(IDD_TARNIKM_DIALOG), LoadResIcon});
    ASSERT_TRUE(dlg.Create());
    auto* b = new CButtonST;
    ASSERT_TRUE(b->SubclassDlgItem(IDC_BTN_STATUS, &dlg));
    EXPECT_EQ(dlg.GetDlgItem(IDC_BTN_STATUS), b);
    EXPECT_FALSE(b->IsCheckBox());
    b->resize(120, 40);
    b->SetColor(CButtonST::BTNST_COLOR_BK_OUT, QColor::fromRgb(kRestBack));
    QPixmap solid(16, 16);
    solid.fill(QColor::fromRgba(kMagenta));
    ASSERT_EQ(b->SetButtonIcons(CreateButtonIcon(solid), nullptr), 0);
    b->SetImagePlace(CButtonST::IMAGE_RIGHT);
    dlg.SetDlgItemText(IDC_BTN_STATUS, QStringLiteral("Go"));
    const QImage img = b->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QRect icon, ink;   // where the icon's pixels are, and those of neither the icon nor the background
    for (int y = 1; y < img.height() - 1; ++y)
        for (int x = 1; x < img.width() - 1; ++x)
            if (img.pixel(x, y) == kMagenta)
                icon |= QRect(x, y, 1, 1);
            else if (img.pixel(x, y) != kRestBack)
                ink |= QRect(x, y, 1, 1);
    EXPECT_EQ(icon, QRect(101, 12, 16, 16));
    EXPECT_TRUE(QRect(3, 0, 98, 40).contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    EXPECT_NEAR(ink.center().x(), QRect(3, 0, 98, 40).center().x(), 2);
}
