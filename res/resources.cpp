#include <QString>
#include <QStringList>

#include "res/resource.h"

// Q_INIT_RESOURCE must be used outside a namespace.
static void InitCompiledResources() {
    Q_INIT_RESOURCE(norvane);
}

namespace norvane {

const VersionInfo kVersionInfo{
    {1, 0, 0, 0}, {1, 0, 0, 0}, "Norvane", "Norvane UMTS", "Norvane.exe", "Norvane.exe", "free",
};

QString LoadString(int id) {
    if (id == IDS_HOMEPAGE) {
        return QString::fromLatin1(kHomepageUrl);
    }
    return {};
}

QString BitmapPath(int id) {
    return QStringLiteral(":/norvane/bitmap/%1.png").arg(id);
}

QIcon LoadIcon(int id) {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/norvane/icon/%1-%2.png").arg(id).arg(size),
                     QSize(size, size));
    }
    return icon;
}

void InitResources() {
    InitCompiledResources();
}

}  // namespace norvane
