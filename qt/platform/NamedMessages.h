#pragma once
// Process-wide registry of named messages: a name maps to one QEvent type for the life of the
// process, and a posted message carries wParam and lParam like a window message does.
#include <QEvent>
#include <QString>

#include "platform/WinTypes.h"

class QObject;

// Returns the event type registered under this name, registering it on first use.
// Thread-safe; the same name always gives the same type.
UINT RegisterNamedMessage(const QString& name);

class CNamedMessageEvent : public QEvent {
public:
    CNamedMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam) {}
    WPARAM wParam() const { return m_wParam; }
    LPARAM lParam() const { return m_lParam; }

private:
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// Queues the message for the receiver's thread and returns at once; safe from any thread.
// Returns false when there is no receiver or no message.
bool PostNamedMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam);
