#pragma once
// Helpers for driving document windows in tests: answering message boxes, writing .lsd
// files and computing the figure a document should show.

#include "document/lsdocument.h"
#include "document/model/documentfile.h"
#include "engine/interpreter.h"
#include "figure/figurerules.h"
#include "platform/documentcontroller.h"
#include "session/figuresession.h"
#include "tests/waituntil.h"
#include "view/lsglview.h"
#include "view/viewgeometry.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <functional>

namespace documenttest {

using testsupport::waitUntil;

// Answers every message box that opens while it lives with `answer`, and keeps its texts.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer)
        : mAnswer(answer)
    {
        connect(&mTimer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            texts.append(box->text() + QLatin1Char('\n') + box->informativeText());
            if (QAbstractButton *button = box->button(mAnswer))
                button->click();
            else
                box->reject();
        });
        mTimer.start(10);
    }
    QStringList texts;

private:
    QMessageBox::StandardButton mAnswer;
    QTimer mTimer;
};

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray lsdBytes(const DocumentData &data)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(writeDocument(data, bytes, &error)) << error;
    return { reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()) };
}

inline DocumentData readLsd(const QString &path)
{
    DocumentData data;
    std::string error;
    EXPECT_TRUE(readDocumentFile(path.toStdString(), data, &error)) << error;
    return data;
}

// The figure a document with these values must show.
struct ExpectedFigure
{
    std::shared_ptr<lsRuleSet> rules;
    FigurePass pass;
};

inline ExpectedFigure expectedGeometry(const std::string &axiom,
                                       const std::vector<std::string> &letters,
                                       const std::vector<std::string> &rules,
                                       double angle,
                                       int iterations)
{
    std::shared_ptr<lsRuleSet> set = makeRuleSet(letters, rules, angle);
    lsString string = lsGenerate(*set, axiom, iterations).string;
    return { set, FigurePass(set, axiom, iterations, std::move(string)) };
}

// With SPRIG_SCREENSHOT_DIR set, keeps a picture of the window there for looking at.
inline void keepScreenshot(QWidget *window, const QString &name)
{
    if (const QByteArray dir = qgetenv("SPRIG_SCREENSHOT_DIR"); !dir.isEmpty())
        window->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
}

// Waits until the document's view shows exactly this figure, as built for its pixels.
inline bool showsGeometry(LSDocument *document, const ExpectedFigure &expected)
{
    return waitUntil([&] {
        const std::shared_ptr<const lsGeometry> shown = document->glView()->shownGeometry();
        if (!document->session()->isIdle() || !shown)
            return false;
        const QSize pixels = document->glView()->pixelSize();
        lsGeometry geometry;
        EXPECT_TRUE(buildViewGeometry(expected.pass, expected.rules->angle, expected.rules->step,
                                      pixels.width(), pixels.height(), geometry));
        return shown->vertices == geometry.vertices && shown->stripCount == geometry.stripCount;
    });
}

inline DocumentData kochData()
{
    DocumentData data;
    data.axiom = "F-F-F-F";
    data.letters = { "F" };
    data.rules = { "F+F-F-FF+F+F-F" };
    data.angle = 90.0;
    data.iterations = 2;
    data.color = DocumentColor::calibratedRgb(1.0f, 0.5f, 0.25f, 1.0f);
    data.bgColor = DocumentColor::calibratedRgb(0.0f, 0.0f, 0.5f, 0.75f);
    return data;
}

// Every test starts with no windows and a temporary folder; leftover windows are closed
// without questions.
class DocumentTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (Document *document : controller()->documents()) {
            document->undoStack()->setClean();
            document->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(controller()->documents().isEmpty());
    }

    static DocumentController *controller()
    {
        return DocumentController::sharedDocumentController();
    }

    QString path(const QString &name) const { return mDir.filePath(name); }

    LSDocument *open(const QString &file)
    {
        auto *document = qobject_cast<LSDocument *>(
                controller()->openDocumentWithContentsOfFile(file, true));
        if (document) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(document));
        }
        return document;
    }

    LSDocument *openData(const DocumentData &data, const QString &name = QStringLiteral("a.lsd"))
    {
        writeFile(path(name), lsdBytes(data));
        return open(path(name));
    }

    LSDocument *newDocument()
    {
        auto *document = qobject_cast<LSDocument *>(controller()->newDocument());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(document));
        return document;
    }

    QTemporaryDir mDir;
};

} // namespace documenttest
