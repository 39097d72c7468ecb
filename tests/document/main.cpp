// The document tests drive real windows: run them with an X server (xvfb-run).
#include "document/lsdocument.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Each test process keeps its settings (recent files) to itself: ctest runs them in parallel.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("SprigTests"));
    QCoreApplication::setApplicationName(QStringLiteral("document_test"));
    DocumentController controller;
    controller.setDocumentType(QStringLiteral("L-system document"), QStringLiteral("lsd"));
    controller.setDocumentFactory([] { return new LSDocument; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
