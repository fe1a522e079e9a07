// A past recording in the graph window: recorded on the simulation, opened from the live window's
// menu into a window of its own with the live window's axes and colours, a file that is no
// recording or has damaged lines, the exports read back by Qt's own readers, and a long read ended
// half-way.
#include "dialogs/tsrecordergraphdialog.h"

#include "viewtestsupport.h"

#include "config/tsprofile.h"
#include "dialogs/tsfiledialog.h"
#include "dialogs/tsmessagebox.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsrecordingreader.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>

namespace {

using viewtest::entry;

class PastRecordingTest : public viewtest::ViewFixture
{
protected:
    PastRecordingTest()
    {
        TsMessageBox::setAnswering(true);
        TsFileDialog::setAnswering(true);
        otherControllers =
            devicetest::controller("154G7", "Gas Unit G2", "0004",
                                   devicetest::channel(1, "CO2", "actual=\"50\"") +
                                       devicetest::channel(2, "O2", "actual=\"189\""));
        plug("actual=\"371\"");
        useChannels({entry(stage, "Stage", true, Qt::red), entry(missing, "Missing"),
                     entry("154G7:1", "CO2", true, Qt::darkGreen), entry("154G7:2", "O2")});
        recorder = experiment()->recorder();
        recorder->setLogFolder(folder.path());
        recorder->setFilePrefix(QStringLiteral("night"));
        recorder->setClocks([this] { return monotonic; }, [this] { return wall; });
        live.reset(new TsRecorderGraphDialog);
        live->resize(700, 400);
    }
    ~PastRecordingTest() override
    {
        // Their menus are top-level widgets too: gather the windows before deleting any.
        QList<QPointer<TsRecorderGraphDialog>> past;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<TsRecorderGraphDialog *>(widget);
            if (window && window->showsPastRecording())
                past << window;
        }
        for (const QPointer<TsRecorderGraphDialog> &window : past)
            delete window.data();
        live.reset();
        recorder->stop();
        recorder->setClocks({}, {});
        TsFileDialog::setAnswering(false);
        TsMessageBox::setAnswering(false);
    }

    // Ten rows a second apart; the stage warms by 0.1 a row.
    QString recordNight()
    {
        recorder->start();
        for (int i = 0; i < 10; ++i) {
            plug("actual=\"" + std::to_string(371 + i) + "\"");
            monotonic += 1000;
            wall = wall.addMSecs(1000);
            tick();
        }
        recorder->stop();
        return recorder->fileName();
    }
    TsRecorderGraphDialog *openFromMenu(const QString &path)
    {
        TsFileDialog::queueFile(path);
        live->findChild<QAction *>(QStringLiteral("actionOpen_Recording"))->trigger();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<TsRecorderGraphDialog *>(widget);
            if (window && window->recordingPath() == path)
                return window;
        }
        return nullptr;
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(folder.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir folder;
    qint64 monotonic = 7000000;
    QDateTime wall = QDateTime(QDate(2026, 3, 2), QTime(22, 0, 0));
    TsExperimentRecorder *recorder = nullptr;
    QScopedPointer<TsRecorderGraphDialog> live;
};

TEST_F(PastRecordingTest, ARecordingOpensInAWindowOfItsOwnWithTheLiveWindowsAxesAndColours)
{
    const QString path = recordNight();
    TsRecorderGraphDialog *past = openFromMenu(path);
    ASSERT_TRUE(past);
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
    EXPECT_NE(past, live.data());
    EXPECT_TRUE(past->isVisible());
    EXPECT_TRUE(past->windowTitle().endsWith(QFileInfo(path).fileName()));
    EXPECT_FALSE(
        past->findChild<QMenu *>(QStringLiteral("menuAutoScroll"))->menuAction()->isVisible());

    // Temperature and gas on the specification's axes, the channel without a unit on its own.
    const QList<GraphVerticalAxis *> axes = past->axes();
    ASSERT_EQ(axes.size(), 3);
    EXPECT_EQ(axes.at(0)->text(), QStringLiteral("Temp [°C]"));
    EXPECT_EQ(axes.at(1)->text(), QStringLiteral("Values"));
    EXPECT_EQ(axes.at(2)->text(), QStringLiteral("CO2/O2 [%]"));
    const QList<GraphLineSeries *> lines = past->lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines.at(0)->text(), QStringLiteral("Stage"));
    EXPECT_EQ(lines.at(0)->color(), QColor(Qt::red));
    EXPECT_EQ(lines.at(2)->color(), QColor(Qt::darkGreen));
    EXPECT_EQ(lines.at(2)->valueAxis(), axes.at(2));

    // The values at the times of the rows, the whole night in view, relative time from its start.
    const GraphSeriesData &stageData = *lines.at(0)->data();
    ASSERT_EQ(stageData.size(), 10u);
    const double first = double(QDateTime(QDate(2026, 3, 2), QTime(22, 0, 1)).toMSecsSinceEpoch());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(stageData.x()[i], first + 1000 * i);
        EXPECT_EQ(stageData.y()[i], float(37.1 + 0.1 * i)) << i;
    }
    EXPECT_TRUE(std::isnan(lines.at(1)->data()->y()[0]));
    EXPECT_EQ(lines.at(3)->data()->y()[9], 18.9f);
    GraphHorizontalAxis *time = past->graph()->horizontalAxis();
    EXPECT_EQ(time->minimum(), first);
    EXPECT_EQ(time->maximum(), first + TsRecorderGraphDialog::MinZoomStep);
    EXPECT_EQ(time->origin(), first);
    EXPECT_FALSE(time->followsNewest());
    past->findChild<QAction *>(QStringLiteral("actionRelative_Absolute"))->trigger();
    EXPECT_EQ(time->labelMode(), GraphAxis::RelativeTimeLabels);
    EXPECT_EQ(live->graph()->horizontalAxis()->labelMode(), GraphAxis::DateTimeLabels);

    // Closing the recording's window leaves the live window's remembered state alone.
    QSettings().setValue(QStringLiteral("graphVisible"), true);
    QPointer<TsRecorderGraphDialog> closed(past);
    past->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(QSettings().value(QStringLiteral("graphVisible")).toBool());
}

TEST_F(PastRecordingTest, AFileThatIsNoRecordingSaysSoAndOpensNothing)
{
    const QString path = writeFile("table.csv", "Name;Value;\nStage;37;\n");
    EXPECT_FALSE(openFromMenu(path));
    const QList<TsMessageBox::Asked> asked = TsMessageBox::takeAsked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).icon, QMessageBox::Warning);
    EXPECT_TRUE(asked.at(0).text.contains(QStringLiteral("is not a recording")));
    // Cancelled: nothing asked, nothing opened.
    live->findChild<QAction *>(QStringLiteral("actionOpen_Recording"))->trigger();
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
}

TEST_F(PastRecordingTest, DamagedLinesAreNamedAndTheRestIsShown)
{
    QByteArray text = "\"Timestamp\"\t\"Stage: Actual Value\"\t\"Stage: Setpoint Value\"\t"
                      "\"Stage: Control\"\t\n";
    for (int i = 0; i < 30; ++i) {
        text += i % 10 == 3 ? QByteArray("2026-03-02 22:00:0x\t37.0\t37.0\tOn\t\n")
                            : QTime(22, 0).addSecs(i).toString("'2026-03-02 'hh:mm:ss").toLatin1() +
                                  "\t37.0\t37.0\tOn\t\n";
    }
    TsRecorderGraphDialog *past = openFromMenu(writeFile("damaged.csv", text));
    ASSERT_TRUE(past);
    EXPECT_EQ(past->lines().at(0)->data()->size(), 27u);
    const QList<TsMessageBox::Asked> asked = TsMessageBox::takeAsked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).icon, QMessageBox::Information);
    EXPECT_TRUE(asked.at(0).text.contains(QStringLiteral("(line 5, 15, 25)")))
        << asked.at(0).text.toStdString();
}

TEST_F(PastRecordingTest, ExportsOpenAgainInQtsReadersAndTheRecordingReader)
{
    TsRecorderGraphDialog *past = openFromMenu(recordNight());
    ASSERT_TRUE(past);
    past->resize(640, 360);
    QApplication::processEvents();
    const QSize size = past->graph()->size();

    const QString png = folder.filePath("view.png");
    const QString svg = folder.filePath("view.svg");
    const QString pdf = folder.filePath("view.pdf");
    for (const QString &path : {png, svg, pdf}) {
        TsFileDialog::queueFile(path);
        past->findChild<QAction *>(QStringLiteral("actionExport_View"))->trigger();
    }
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
    QImageReader reader(png);
    EXPECT_EQ(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), size * past->graph()->devicePixelRatioF());
    // The red stage line is in the picture.
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 80;
    EXPECT_GT(red, 20);
    QSvgRenderer drawing(svg);
    ASSERT_TRUE(drawing.isValid());
    EXPECT_EQ(drawing.viewBoxF(), QRectF(QPointF(0, 0), QSizeF(size)));
    // No PDF reader in Qt 5: the document is checked by its structure, one page of the view's
    // proportions with a content stream of its own.
    QFile document(pdf);
    ASSERT_TRUE(document.open(QIODevice::ReadOnly));
    const QByteArray bytes = document.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_EQ(bytes.count("/Type /Page\n"), 1);
    const int box = bytes.indexOf("/MediaBox [0 0 ");
    ASSERT_GE(box, 0);
    const QList<QByteArray> corner =
        bytes.mid(box + 15, bytes.indexOf(']', box) - box - 15).split(' ');
    ASSERT_EQ(corner.size(), 2);
    EXPECT_NEAR(corner[0].toDouble() / corner[1].toDouble(), double(size.width()) / size.height(),
                0.01);
    // The page's drawing is the longest stream; an empty page would have a few bytes. A length
    // given as a reference ("/Length 13 0 R") is that of another object.
    int longest = 0;
    for (int at = bytes.indexOf("/Length "); at >= 0; at = bytes.indexOf("/Length ", at + 1)) {
        int end = at + 8;
        while (end < bytes.size() && std::isdigit((unsigned char)bytes[end]))
            ++end;
        if (!bytes.mid(end).startsWith(" 0 R"))
            longest = std::max(longest, bytes.mid(at + 8, end - at - 8).toInt());
    }
    EXPECT_GT(longest, 500);

    // The samples of a part of the night: rows 3 to 6, read back as a recording.
    GraphHorizontalAxis *time = past->graph()->horizontalAxis();
    const GraphSeriesData &stageData = *past->lines().at(0)->data();
    time->setRange(stageData.x()[3] - 200, stageData.x()[6] + 200);
    const QString csv = folder.filePath("part.csv");
    TsFileDialog::queueFile(csv);
    past->findChild<QAction *>(QStringLiteral("actionExport_Samples"))->trigger();
    TsRecordingReader readBack;
    ASSERT_TRUE(readBack.read(csv).isSuccess());
    const TsRecording &part = readBack.recording();
    ASSERT_EQ(part.rows(), 4);
    ASSERT_EQ(part.channels.size(), 4u);
    EXPECT_EQ(part.channels[0].name, QStringLiteral("Stage"));
    for (std::size_t row = 0; row < 4; ++row) {
        EXPECT_EQ((*part.times)[row], stageData.x()[3 + row]);
        for (std::size_t c = 0; c < 4; ++c) {
            const float expected = past->lines().at(int(c))->data()->y()[3 + row];
            const float got = part.channels[c].values[row];
            EXPECT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected)))
                << row << " " << c;
        }
    }

    // A picture that cannot be written says why.
    EXPECT_TRUE(past->exportView(folder.filePath("no/such/folder/view.png")).isError());
    EXPECT_TRUE(past->exportView(folder.filePath("view.gif")).isError());
}

// A long file's read ends early: the operator clicks Cancel in the progress dialog, or the program
// is told to quit (SIGTERM, the session's end), while the read runs. Neither leaves a window with
// part of the file, nor anything behind, and the next file opens as ever.
enum class Ending
{
    CancelClicked,
    ProgramQuits,
};

class EndedLoadTest : public PastRecordingTest, public ::testing::WithParamInterface<Ending>
{};

TEST_P(EndedLoadTest, LeavesNoWindowAndNothingBehind)
{
    // 64 channels, one row an hour for seven years (some 50 MB): each new hour costs the reader a
    // look at the time zone, so the read lasts long enough here to be cancelled half-way.
    QByteArray header = "\"Timestamp\"\t";
    QByteArray values;
    for (int c = 1; c <= 64; ++c) {
        header += QStringLiteral("\"Channel %1: Actual Value\"\t\"Channel %1: Setpoint Value\"\t"
                                 "\"Channel %1: Control\"\t")
                      .arg(c)
                      .toLatin1();
        values += "37.0\t37.0\tOn\t";
    }
    QFile file(folder.filePath("long.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(header + '\n');
    for (QDateTime hour(QDate(2019, 1, 1), QTime(0, 0), Qt::UTC); hour.date().year() < 2026;
         hour = hour.addSecs(3600))
        file.write(hour.toString("yyyy-MM-dd hh:mm:ss\t").toLatin1() + values + '\n');
    file.close();
    ASSERT_GT(file.size(), 40 << 20);

    // Menus are windows too, which the menu bar makes when it first needs them.
    const auto windows = [] {
        QSet<QWidget *> found;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!qobject_cast<QMenu *>(widget))
                found << widget;
        }
        return found;
    };
    const QObjectList childrenBefore = live->children();
    const QSet<QWidget *> windowsBefore = windows();
    bool ended = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QProgressDialog *progress : live->findChildren<QProgressDialog *>()) {
            if (!progress->isVisible())
                continue;
            auto *cancel = progress->findChild<QPushButton *>();
            ASSERT_TRUE(cancel);
            EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
            EXPECT_LT(progress->value(), progress->maximum()) << "the read is still running";
            if (GetParam() == Ending::CancelClicked)
                QTest::mouseClick(cancel, Qt::LeftButton);
            else
                QCoreApplication::quit();
            ended = true;
            watch.stop();
        }
    });
    watch.start();
    EXPECT_FALSE(openFromMenu(file.fileName()));
    watch.stop();
    ASSERT_TRUE(ended) << "the read ended before its progress dialog was shown";
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty()) << "an end asked for is no error";
    if (GetParam() == Ending::ProgramQuits) {
        // A quit holds until an event loop of the application's own has run.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(live->children(), childrenBefore) << "the progress dialog is gone";
    EXPECT_EQ(windows(), windowsBefore) << "no window of the file, no progress dialog";

    // Nothing is left half-done: the night's file opens whole.
    TsRecorderGraphDialog *past = openFromMenu(recordNight());
    ASSERT_TRUE(past);
    EXPECT_EQ(past->lines().at(0)->data()->size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(PastRecording, EndedLoadTest,
                         ::testing::Values(Ending::CancelClicked, Ending::ProgramQuits),
                         [](const ::testing::TestParamInfo<Ending> &info) {
                             return info.param == Ending::CancelClicked ? "CancelClicked"
                                                                        : "ProgramQuits";
                         });

} // namespace
