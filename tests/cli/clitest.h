#pragma once

// Runs sprig-render as a user would, for the command-line tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace clitest {

using namespace Qt::StringLiterals;

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs sprig-render in dir without any display.
inline Result sprigRender(const QStringList &arguments, const QString &dir = QDir::tempPath())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir);
    process.start(QString::fromUtf8(SPRIG_RENDER), arguments);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "sprig-render did not finish: " << arguments.join(u' ').toStdString();
        return result;
    }
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

inline QJsonObject jsonOf(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    return document.object();
}

class SprigRender : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return mDir.filePath(name); }
    void writeFile(const QString &name, const QByteArray &content) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray readFile(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    Result run(const QStringList &arguments) const { return sprigRender(arguments, mDir.path()); }
    // Writes JSON and the document made from it.
    void makeDocument(const QString &name, const char *json) const
    {
        writeFile(name + u".json"_s, json);
        const Result r = run({ u"--from-json"_s, name + u".json"_s, u"-o"_s, name + u".lsd"_s });
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
    }

    QTemporaryDir mDir;
};

} // namespace clitest
