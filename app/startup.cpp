#include "app/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString resourcePath(const QString &applicationDirPath)
{
    const QString installed = QDir::cleanPath(
            applicationDirPath + u'/' + QLatin1StringView(SPRIG_INSTALLED_RESOURCES_FROM_BIN));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(SPRIG_BUILD_RESOURCE_DIR);
}

QString demosDirectory()
{
    return resourcePath(QCoreApplication::applicationDirPath()) + "/demos"_L1;
}

QSurfaceFormat defaultSurfaceFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    return format;
}
