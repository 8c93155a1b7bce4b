// Computing and saving from the window: the same bytes as the batch command, and errors that
// leave the window as it was.
#include "frmMain.h"
#include "window_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace dozorira::window;
using namespace dozorira::window::test;

namespace {

const QString Data = QStringLiteral(DOZORIRA_TEST_DATA);

QString data(const char* name) {
    return Data + QLatin1Char('/') + QLatin1String(name);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "(missing)";
    return file.readAll();
}

QByteArray batchOutput(const QString& output, QStringList arguments) {
    arguments.prepend(output);
    arguments.prepend(QStringLiteral("-o"));
    QProcess batch;
    batch.start(QStringLiteral(DOZORIRA_BATCH), arguments);
    if (!batch.waitForFinished(-1) || batch.exitCode() != 0) return "(batch failed)";
    return contents(output);
}

struct ComputingWindow {
    FakeDialogs dialogs;
    frmMain window{dialogs};

    // Chooses task files and output file through the dialogs and presses the button.
    void compute(const QStringList& taskFiles, const QString& output) {
        dialogs.taskFileAnswers = {taskFiles};
        dialogs.outputFileAnswers = {output};
        control<QPushButton>(window, "Command1")->click();
        control<QPushButton>(window, "cmdBlader")->click();
        control<QPushButton>(window, "cmdSave")->click();
    }
};

} // namespace

class RunTest : public QObject {
    Q_OBJECT

private slots:
    void writesWhatTheBatchCommandWrites() {
        QTemporaryDir dir;
        const QStringList three = {data("pp01.vty"), data("pp02.vty"), data("pp03.vty")};
        const QString viaWindow = dir.filePath("window.dat");
        const QString viaBatch = dir.filePath("batch.dat");

        ComputingWindow w;
        w.compute(three, viaWindow);
        QVERIFY(w.dialogs.messages.isEmpty());
        QCOMPARE(contents(viaWindow), batchOutput(viaBatch, three));

        // Both follow the locale of the test run, which writes decimal commas.
        QCOMPARE(QLocale::system().decimalPoint(), QStringLiteral(","));
        QVERIFY(contents(viaWindow).contains("4,667"));

        // The menu item does what the button does, with the box as it is now.
        control<QCheckBox>(w.window, "chkHeader")->click();
        w.window.selectTaskFiles(QFile::encodeName(data("pp02.vty")).toStdString());
        menuItem(w.window, "mnuBewaar")->trigger();
        QCOMPARE(contents(viaWindow), batchOutput(viaBatch, {"--no-header", data("pp02.vty")}));
    }

    void errorIsReportedAndTheWindowGoesOn() {
        QTemporaryDir dir;
        const QString output = dir.filePath("study.dat");
        ComputingWindow w;
        w.window.show();
        w.compute({data("pp01.vty"), data("broken.vty"), data("pp02.vty")}, output);

        QCOMPARE(w.dialogs.messages.size(), 1);
        const FakeDialogs::Message& report = w.dialogs.messages.first();
        QVERIFY(report.critical);
        const QString text = report.text;
        QVERIFY2(text.contains(data("broken.vty")) && text.contains("data line") &&
                     text.contains("Records in the output file: 1"),
                 qPrintable(text));

        QVERIFY(w.window.isVisible());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(w.window.fileList().fileCount(), 4);
        QVERIFY(w.window.filesChosen());
        QCOMPARE(control<QLineEdit>(w.window, "txtOutputFile")->text(), output);
        QVERIFY(control(w.window, "cmdSave")->isEnabled());
        QVERIFY(menuItem(w.window, "mnuBewaar")->isEnabled());
        QVERIFY(control<QCheckBox>(w.window, "chkHeader")->isChecked());
        QCOMPARE(contents(output), batchOutput(dir.filePath("first.dat"), {data("pp01.vty")}));
    }

    void unwritableOutputIsReported() {
        QTemporaryDir dir;
        ComputingWindow w;
        w.compute({data("pp01.vty")}, dir.path()); // a folder, not a file
        QCOMPARE(w.dialogs.messages.size(), 1);
        QVERIFY(w.dialogs.messages.first().text.startsWith("File error"));
        QVERIFY(w.dialogs.messages.first().text.contains("Records in the output file: 0"));
    }
};

int runTests(int argc, char** argv) {
    RunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "run_test.moc"
