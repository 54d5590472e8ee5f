#pragma once
// Modal message boxes with exactly the text, caption, buttons and icon asked for.
#include <QString>

#include "platform/WinTypes.h"

class QWidget;

constexpr UINT MB_OK = 0x0u;
constexpr UINT MB_OKCANCEL = 0x1u;
constexpr UINT MB_ICONQUESTION = 0x20u;
constexpr UINT MB_ICONWARNING = 0x30u;

// Shows the box and returns the button chosen: IDOK or IDCANCEL (closing the box is Cancel when
// there is one, else OK).
int MessageBox(QWidget* parent, const QString& text, const QString& caption, UINT type);
