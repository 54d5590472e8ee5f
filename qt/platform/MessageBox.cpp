#include "qt/platform/MessageBox.h"

#include <QMessageBox>

#include "qt/platform/DialogTemplate.h"

int MessageBox(QWidget* parent, const QString& text, const QString& caption, UINT type)
{
    QMessageBox box(parent);
    box.setText(text);
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText);
    switch (type & 0xF0u) {
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((type & 0xFu) == MB_OKCANCEL) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}
