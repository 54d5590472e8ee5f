#pragma once
// Tells the keyboard's automatic repeats of a key that presses buttons (Enter, Return, Space,
// Select) from a press of the operator's own: only a fresh press may press a button.
#include <QtGlobal>

class QKeyEvent;

class CButtonKeyRepeats {
public:
    // Looks at every key event; true for a press of a button key that the keyboard repeated.
    bool IsRepeatedPress(const QKeyEvent& e);

private:
    int m_nReleasedKey = 0;
    quint64 m_nReleasedAt = 0;   // the key event's own time stamp, in ms
};
