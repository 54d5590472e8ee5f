#include "qt/res/Resources.h"

#include <QHash>

#include "res/Resource.h"

namespace {

QHash<int, QString>& Overrides()
{
    static QHash<int, QString> overrides;
    return overrides;
}

QStringList IconFiles(int id)
{
    switch (id) {
    case IDR_MAINFRAME:
        return {QStringLiteral(":/icons/129_16.png"), QStringLiteral(":/icons/129_32.png"),
                QStringLiteral(":/icons/129_64.png")};
    case IDI_DISCONNECTED: return {QStringLiteral(":/icons/132.png")};
    case IDI_CONNECTED: return {QStringLiteral(":/icons/133.png")};
    default: return {};
    }
}

} // namespace

// The resources live in a static library, whose registration the linker may drop: register here.
static void EnsureResources()
{
    static const bool once = [] {
        Q_INIT_RESOURCE(tarnik);
        return true;
    }();
    (void)once;
}

QString LoadResString(int id)
{
    if (auto it = Overrides().constFind(id); it != Overrides().constEnd())
        return it.value();
    switch (id) {
    case IDS_ABOUTBOX: return QStringLiteral("&About Tarnik S4");
    default: return {};
    }
}

void SetResStringOverride(int id, const QString& text) { Overrides().insert(id, text); }
void ClearResStringOverrides() { Overrides().clear(); }

QPixmap LoadResIcon(int id)
{
    EnsureResources();
    const QStringList files = IconFiles(id);
    return files.isEmpty() ? QPixmap() : QPixmap(files.first());
}

QIcon LoadResIconSet(int id)
{
    EnsureResources();
    QIcon icon;
    for (const QString& f : IconFiles(id))
        icon.addFile(f);
    return icon;
}
