#include "app/lscontroller.h"
#include "apptest.h"

#include <QApplication>

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
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    LSController theController;
    controller = &theController;
    return RUN_ALL_TESTS();
}
