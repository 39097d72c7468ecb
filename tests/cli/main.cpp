#include <QCoreApplication>

#include <gtest/gtest.h>

// QProcess wants an application object; none of these tests needs a display.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
