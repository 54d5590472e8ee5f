#pragma once
// A push button that paints itself: a background chosen by state, a flat or raised border, an icon
// left of, above or right of the word-wrapped caption, and a focus rectangle. It can also act as a
// check box. The panel's status button is one.
#include <QColor>
#include <QImage>
#include <QPushButton>

#include "qt/platform/DialogTemplate.h"
#include "platform/WinTypes.h"

class CDialogBase;
class QPainter;

// An icon the button owns. An icon whose image is null is one whose data cannot be read.
struct SButtonIcon {
    QImage image;          // premultiplied ARGB, one device pixel per image pixel
    QImage disabledLook;   // made from image by the button that owns the icon
};
using HICON = SButtonIcon*;

// A null pixmap gives an icon whose data cannot be read (SetButtonIcons then fails with 1).
HICON CreateButtonIcon(const QPixmap& pm);
void DestroyButtonIcon(HICON hIcon);

// Passed as the rest icon, these ask the button to derive it from the hot icon.
inline HICON const ICON_REST_GREY = reinterpret_cast<HICON>(static_cast<std::intptr_t>(-2));
inline HICON const ICON_REST_DIM = reinterpret_cast<HICON>(static_cast<std::intptr_t>(-3));

// A rectangle with exclusive right and bottom edges, so that the layout arithmetic reads as the
// panel's drawing code always has.
struct SRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void Offset(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
    void Deflate(int d) { left += d; top += d; right -= d; bottom -= d; }
};

class CButtonST : public QPushButton {
    Q_OBJECT
public:
    enum { IMAGE_LEFT = 0, IMAGE_ABOVE = 1, IMAGE_RIGHT = 2 };
    // Indexes into the six colours.
    enum { BTNST_COLOR_BK_IN = 0, BTNST_COLOR_FG_IN, BTNST_COLOR_BK_OUT, BTNST_COLOR_FG_OUT,
           BTNST_COLOR_BK_FOCUS, BTNST_COLOR_FG_FOCUS, BTNST_MAX_COLORS };
    enum { ICON_HOT = 0, ICON_REST = 1 };

    CButtonST();
    ~CButtonST() override;

    // Takes the place of the dialog's control nID, keeping its type's meaning (check box, default).
    BOOL SubclassDlgItem(int nID, CDialogBase* pParent);

    // Takes ownership of both icons, whatever the outcome. 0 on success; 1 when an icon's data
    // cannot be read, and the button is then left with no image at all.
    int SetButtonIcons(HICON hIconHot, HICON hIconRest);
    void SetImagePlace(BYTE byPlace);
    BYTE GetImagePlace() const { return m_byImagePlace; }
    HICON GetIcon(int nSlot) const { return m_Icons[nSlot].hIcon; }
    QSize GetIconSize(int nSlot) const;

    // Check state with the meaning of the standard check messages: 1 or 2 check, anything else
    // clears; a push button ignores it.
    void SetCheck(int nCheck);
    int GetCheck() const { return m_nCheck; }
    BOOL IsCheckBox() const { return m_bCheckBox; }

    // The dialog manager's style change: the default flag follows, the type stays owner-drawn.
    void SetButtonStyle(DWORD dwStyle);
    DWORD GetButtonStyle() const { return m_dwStyle; }
    void SetDefaultButton(BOOL bDefault);
    BOOL IsDefaultButton() const { return m_bDefaultButton; }

    void SetFlat(BOOL bFlat);
    BOOL IsFlat() const { return m_bFlatStyle; }
    BOOL IsMouseOver() const { return m_bMouseOver; }

    void SetColor(int nIndex, const QColor& cr);
    QColor GetColor(int nIndex) const { return m_crColors[nIndex]; }

protected:
    // Reads the template's type bits: what makes a check box or a default button.
    virtual void PreSubclassWindow(DWORD dwStyle);

    // The painting steps, which a derived button may replace.
    virtual void DrawButtonBackground(QPainter& p, SRect& rcWork);
    virtual void DrawButtonBorder(QPainter& p, const SRect& rcWork);
    virtual void DrawButtonIcon(QPainter& p, BOOL bHasTitle, const SRect& rcItem, SRect& rcCaption,
                                BOOL bIsPressed, BOOL bIsDisabled);
    virtual void DrawButtonText(QPainter& p, const QString& sTitle, const SRect& rcItem,
                                SRect& rcCaption, BOOL bIsPressed, BOOL bIsDisabled);

    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    struct SIconSlot {
        HICON hIcon = nullptr;
        DWORD dwWidth = 0, dwHeight = 0;
    };

    void OnClicked();
    void TrackHover(const QPoint& pos, Qt::MouseButtons buttons);
    void LeaveHover();
    void MoveFocusOn();
    void ResetColors();
    void FreeResources();
    BOOL FillIconSlot(int nSlot, HICON hIcon);
    void MakeDisabledLooks();
    SRect PrepareImageRect(BOOL bHasTitle, const SRect& rcItem, SRect& rcCaption, BOOL bIsPressed,
                           DWORD dwWidth, DWORD dwHeight) const;
    QColor BackColor() const;
    QColor TextColor() const;

    QPoint m_ptImageMargin{3, 3};
    QPoint m_ptPressedShift{1, 1};
    BOOL m_bFlatStyle = TRUE;
    BOOL m_bMouseOver = FALSE;
    BOOL m_bDrawPressed = FALSE;
    BOOL m_bDrawFocused = FALSE;
    BOOL m_bDrawDisabled = FALSE;
    BOOL m_bDefaultButton = FALSE;
    BOOL m_bCheckBox = FALSE;
    BYTE m_byImagePlace = IMAGE_LEFT;
    BOOL m_bFlatBorder = TRUE;
    BOOL m_bFlatFocusRect = FALSE;
    QColor m_crColors[BTNST_MAX_COLORS];
    BOOL m_bTrackAlways = TRUE;
    int m_nCheck = 0;
    DWORD m_dwStyle = BS_OWNERDRAW;
    SIconSlot m_Icons[2];
};

// Grey and dimmed copies of an icon, pixel by pixel; a null icon when the source cannot be read.
HICON CreateGreyIcon(HICON hSource);
HICON CreateDimIcon(HICON hSource);
