#include "qt/platform/NamedMessages.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>

UINT RegisterNamedMessage(const QString& name)
{
    static QMutex mutex;
    static QHash<QString, UINT> registry;
    QMutexLocker lock(&mutex);
    auto it = registry.constFind(name);
    if (it != registry.constEnd())
        return it.value();
    const UINT type = static_cast<UINT>(QEvent::registerEventType());
    registry.insert(name, type);
    return type;
}

bool PostNamedMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!receiver || message == 0)
        return false;
    QCoreApplication::postEvent(receiver, new CNamedMessageEvent(message, wParam, lParam));
    return true;
}
