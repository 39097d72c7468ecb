#include "app/startup.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(ResourcePath, InstalledTreeBesideTheExecutableWins)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(u"bin"_s));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(u"share/sprig/demos"_s));
    EXPECT_EQ(resourcePath(prefix.path() + "/bin"_L1), prefix.path() + "/share/sprig"_L1);
}

TEST(ResourcePath, BuildTreeFallsBackToTheSources)
{
    QTemporaryDir build;
    ASSERT_TRUE(QDir(build.path()).mkpath(u"app"_s));
    const QString path = resourcePath(build.path() + "/app"_L1);
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(),
              QFileInfo(QStringLiteral(SPRIG_SOURCE_DIR)).canonicalFilePath());
    EXPECT_TRUE(QFileInfo(path + "/demos"_L1).isDir());
}

} // namespace
