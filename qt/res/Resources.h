#pragma once
// Dialog templates, strings and icons, by resource number.
#include <QIcon>
#include <QPixmap>
#include <QString>

struct SDialogTemplate;

// The dialog template with this resource number, or nullptr.
const SDialogTemplate* FindDialogTemplate(int id);

// String resource text ("" for an unknown number).
QString LoadResString(int id);
// Tests replace a string to see how the panel copes (an empty 101, say).
void SetResStringOverride(int id, const QString& text);
void ClearResStringOverrides();

// An icon at its own size (the first size listed for it), or a null pixmap for an unknown number.
QPixmap LoadResIcon(int id);
// Every size of an icon, for the window icon.
QIcon LoadResIconSet(int id);
