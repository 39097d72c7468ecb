#include "app/startup.h"

#include "fileio/filename.h"

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

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromStdU16String(decodeFileName(argv[i])));
    return arguments;
}

QSurfaceFormat defaultSurfaceFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    return format;
}
