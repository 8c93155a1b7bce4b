// The window as it first appears, its information box and its ways out.
#include "frmMain.h"
#include "icon.h"
#include "window_test_support.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace dozorira::window;
using namespace dozorira::window::test;

namespace {

// Runs the application's event loop until something ends it; a second timer stops a loop that
// nothing ended, so a broken exit fails instead of hanging.
int exitCodeAfter(const std::function<void()>& action) {
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    failsafe.start(10000);
    QTimer::singleShot(0, action);
    return QApplication::exec();
}

} // namespace

class StartUpTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndInitialStates() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        QCOMPARE(window.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vantry Dozorira"));
        QCOMPARE(control<QGroupBox>(window, "frame1")->title(), QString());
        QCOMPARE(control<QLabel>(window, "UitvoerbestandlblTekst")->text(),
                 QStringLiteral("Export file name"));
        QCOMPARE(control<QLineEdit>(window, "txtOutputFile")->text(), QString());
        QCOMPARE(control<QPushButton>(window, "cmdBlader")->text(), QStringLiteral("&Browse"));
        QCOMPARE(control<QPushButton>(window, "Command1")->text(), QStringLiteral("&Open file(s)"));
        QCOMPARE(control<QPushButton>(window, "cmdSave")->text(),
                 QStringLiteral("&Compute && save"));
        QCOMPARE(QKeySequence::mnemonic(control<QPushButton>(window, "cmdSave")->text()),
                 QKeySequence(Qt::ALT | Qt::Key_C));

        auto* textFile = control<QRadioButton>(window, "optFile(1)");
        auto* spssFile = control<QRadioButton>(window, "optFile(2)");
        auto* header = control<QCheckBox>(window, "chkHeader");
        QCOMPARE(textFile->text(), QStringLiteral("Text file (tab delimited)"));
        QCOMPARE(spssFile->text(), QStringLiteral("SPSS file"));
        QCOMPARE(header->text(), QStringLiteral("Including variable names"));
        QVERIFY(textFile->isChecked() && textFile->isEnabled());
        QVERIFY(!spssFile->isChecked() && !spssFile->isEnabled());
        QVERIFY(header->isChecked());
        QVERIFY(!control(window, "cmdSave")->isEnabled());
        QVERIFY(!menuItem(window, "mnuBewaar")->isEnabled());
        QVERIFY(!window.filesChosen());
        QCOMPARE(window.fileList().fileCount(), 0);
        QVERIFY(!window.windowIcon().isNull());
    }

    void geometryInPixels() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.centralWidget()->size(), QSize(385, 294));
        QCOMPARE(window.centralWidget()->y(), window.menuBar()->height());
        QCOMPARE(window.minimumSize(), window.maximumSize());
        const QPoint screenCorner = window.screen()->geometry().topLeft();
        QCOMPARE(window.frameGeometry().topLeft(), screenCorner + QPoint(20, 20));

        const QWidget* client = window.centralWidget();
        const QWidget* frame = control(window, "frame1");
        const struct {
            const char* name;
            const QWidget* container;
            QRect geometry;
        } expected[] = {
            {"frame1", client, {8, 8, 353, 185}},
            {"UitvoerbestandlblTekst", frame, {24, 32, 81, 17}},
            {"txtOutputFile", frame, {104, 31, 169, 19}},
            {"cmdBlader", frame, {280, 28, 49, 25}},
            {"optFile(1)", frame, {24, 72, 257, 25}},
            {"optFile(2)", frame, {24, 96, 201, 17}},
            {"chkHeader", frame, {24, 152, 169, 17}},
            {"Command1", client, {56, 208, 121, 41}},
            {"cmdSave", client, {184, 208, 121, 41}},
        };
        for (const auto& item : expected) {
            const QWidget* widget = control(window, item.name);
            QVERIFY2(widget->parentWidget() == item.container, item.name);
            QVERIFY2(widget->geometry() == item.geometry, item.name);
        }
    }

    void tabOrderAndFocus() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(QApplication::focusWidget(), control(window, "txtOutputFile"));

        QStringList stops;
        const QWidget* start = control(window, "txtOutputFile");
        for (const QWidget* w = start; stops.size() < 20; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus) stops.append(w->objectName());
            if (w->nextInFocusChain() == start) break;
        }
        const QStringList expected = {"txtOutputFile", "Command1",   "cmdBlader", "chkHeader",
                                      "optFile(1)",    "optFile(2)", "cmdSave"};
        QCOMPARE(stops, expected);
    }

    void menus() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        QStringList bar;
        for (const QAction* menu : window.menuBar()->actions())
            bar.append(menu->text());
        QCOMPARE(bar, (QStringList{"&File", "&Extra"}));

        // Name, caption and anything a menu item should not have.
        const auto items = [&](const char* name) {
            QStringList found;
            for (const QAction* item : control<QMenu>(window, name)->actions()) {
                QString entry = item->objectName() + QLatin1Char('=') + item->text();
                if (item->isSeparator()) entry += QStringLiteral(" separator");
                if (item->isCheckable()) entry += QStringLiteral(" check mark");
                if (!item->shortcut().isEmpty()) entry += QStringLiteral(" shortcut");
                found.append(entry);
            }
            return found;
        };
        QCOMPARE(items("mnuBestand"),
                 (QStringList{"mnuOpen=&Open file(s)", "mnuUitvoer=&Select output file",
                              "mnuBewaar=&Compute and save"}));
        QCOMPARE(items("mnuExtra"), (QStringList{"mnuAflsuiten=&Exit", "mnuInfo=&Info"}));
        QVERIFY(menuItem(window, "mnuOpen")->isEnabled());
        QVERIFY(menuItem(window, "mnuUitvoer")->isEnabled());
        QVERIFY(!menuItem(window, "mnuBewaar")->isEnabled());
    }

    void icon() {
        const QImage image = iconImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.colorCount() <= 16);
        QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));       // black edge
        QCOMPARE(image.pixel(16, 16), qRgb(255, 255, 0)); // yellow box
        QCOMPARE(image.pixel(15, 16), qRgb(0, 128, 0));   // green crossing
    }

    void infoBox() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        menuItem(window, "mnuInfo")->trigger();
        QCOMPARE(dialogs.messages.size(), 1);
        const FakeDialogs::Message& info = dialogs.messages.first();
        QVERIFY(!info.critical);
        QCOMPARE(info.title, QStringLiteral("Info"));
        const QStringList lines = info.text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Vantry Dozorira"));
        QCOMPARE(lines[1], QString());
        QVERIFY(!lines[2].isEmpty() && !lines[3].isEmpty());
    }

    void exitAndClosingEndTheProgram() {
        FakeDialogs dialogs;
        frmMain window(dialogs);
        window.show();
        QCOMPARE(exitCodeAfter([&] { menuItem(window, "mnuAflsuiten")->trigger(); }), 0);
        QVERIFY(dialogs.messages.isEmpty());

        window.hide(); // so that the next window is the last one open
        frmMain again(dialogs);
        again.show();
        QCOMPARE(exitCodeAfter([&] { again.close(); }), 0);
    }
};

int startUpTests(int argc, char** argv) {
    StartUpTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
