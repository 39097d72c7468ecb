#include "app/lscontroller.h"
#include "apptest.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
LSController *controller = nullptr;
}

LSController &testController()
{
    return *controller;
}

int main(int argc, char **argv)
{
    // Each test process keeps its settings (recent files) to itself: ctest runs them in parallel.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    LSController theController;
    controller = &theController;
    return RUN_ALL_TESTS();
}
