#include "qt/platform/ButtonKeys.h"

#include <QKeyEvent>

namespace {

bool IsButtonKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space || key == Qt::Key_Select;
}

} // namespace

// X11 repeats a held key as a release and a press with one time stamp, 25 times a second, to
// whatever window has the focus then. Qt marks such a pair as a repeat only when the press is
// already queued as it handles the release, so most repeats reach the widgets as fresh presses;
// the shared time stamp tells them all. A time stamp of 0 says nothing (events made by software).
bool CButtonKeyRepeats::IsRepeatedPress(const QKeyEvent& e)
{
    if (!IsButtonKey(e.key()))
        return false;
    if (e.type() == QEvent::KeyRelease) {
        m_nReleasedKey = e.key();
        m_nReleasedAt = e.timestamp();
        return false;
    }
    if (e.type() != QEvent::KeyPress)
        return false;
    return e.isAutoRepeat() || (e.timestamp() != 0 && e.key() == m_nReleasedKey && e.timestamp() == m_nReleasedAt);
}
