// Choosing task files and the output file, and the rule that enables the compute commands.
#include "frmMain.h"
#include "window_test_support.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <random>

using namespace dozorira::window;
using namespace dozorira::window::test;
using namespace std::string_literals;

namespace {

QStringList filesOfOneFolder(int count, const QString& folder = QStringLiteral("/study")) {
    QStringList paths;
    for (int i = 1; i <= count; ++i)
        paths.append(folder + QStringLiteral("/pp%1.vty").arg(i));
    return paths;
}

struct ChoosingWindow {
    FakeDialogs dialogs;
    frmMain window{dialogs};
    QLineEdit* text = control<QLineEdit>(window, "txtOutputFile");
    QPushButton* save = control<QPushButton>(window, "cmdSave");
    QAction* saveItem = menuItem(window, "mnuBewaar");

    bool computeEnabled() const {
        if (save->isEnabled() != saveItem->isEnabled()) qFatal("compute commands disagree");
        return save->isEnabled();
    }
    bool invariantHolds() const {
        return computeEnabled() == (!text->text().isEmpty() && window.filesChosen());
    }
};

} // namespace

class SelectionTest : public QObject {
    Q_OBJECT

private slots:
    // The engine splits; here the dialog's answer has to become the string it splits.
    void selectionFromTheDialog() {
        QCOMPARE(selectionString({"/study/pp01.vty"}), "/study/pp01.vty"s);
        QCOMPARE(selectionString({"/study/b.vty", "/study/a.vty"}), "/study\0b.vty\0a.vty"s);
        QCOMPARE(selectionString({"/a.vty", "/b.vty"}), "/\0a.vty\0b.vty"s);

        ChoosingWindow w;
        w.dialogs.taskFileAnswers = {{"/study/b.vty", "/study/a.vty"}};
        menuItem(w.window, "mnuOpen")->trigger();
        const FileDialogRequest& request = w.dialogs.requests.first();
        QCOMPARE(request.title, QStringLiteral("Open bestand(en)"));
        QCOMPARE(request.filters, QStringList{"Vantry bestanden (*.vty)"});
        QCOMPARE(request.defaultSuffix, QStringLiteral("vty"));
        QCOMPARE(request.startPath, QString());
        QCOMPARE(w.window.fileList().fileCount(), 3);
        QCOMPARE(w.window.fileList().taskFiles(),
                 (std::vector<std::string>{"/study/b.vty", "/study/a.vty"}));

        // Empty pieces count, and an empty selection is still a choice.
        w.window.selectTaskFiles("\0\0b\0"s);
        QCOMPARE(w.window.fileList().fileCount(), 3);
        QCOMPARE(w.window.fileList().slot(2), ""s);
        w.text->setText(QStringLiteral("out.dat"));
        w.window.selectTaskFiles("");
        QCOMPARE(w.window.fileList().fileCount(), 0);
        QVERIFY(w.window.filesChosen() && w.computeEnabled());
    }

    void commandStatesFollowTheTextAndTheSelection() {
        ChoosingWindow w;
        w.text->setText(QStringLiteral("out.dat"));
        QVERIFY(!w.computeEnabled()); // no files chosen yet

        w.text->clear();
        w.dialogs.taskFileAnswers = {filesOfOneFolder(2)};
        menuItem(w.window, "mnuOpen")->trigger();
        QVERIFY(!w.computeEnabled()); // nothing to write to yet

        QTest::keyClick(w.text, Qt::Key_Space);
        QVERIFY(w.computeEnabled()); // blanks are a path
        QTest::keyClick(w.text, Qt::Key_Backspace);
        QVERIFY(!w.computeEnabled());

        w.dialogs.outputFileAnswers = {QStringLiteral("/out/study.dat")};
        control<QPushButton>(w.window, "cmdBlader")->click();
        QCOMPARE(w.text->text(), QStringLiteral("/out/study.dat"));
        QVERIFY(w.computeEnabled());
    }

    // The output dialog's second filter, read by Qt's own file dialog, shows every file.
    void allFilesFilterShowsEveryFile() {
        ChoosingWindow w;
        control<QPushButton>(w.window, "cmdBlader")->click();
        const QStringList filters = w.dialogs.requests.first().filters;
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(1));
        const QStringList patterns = dialog.findChild<QFileSystemModel*>()->nameFilters();
        for (const char* name : {"c", "study.dat", "notes.txt"})
            QVERIFY2(QDir::match(patterns, name), name);
    }

    // With the focus in the empty box: Alt keys are access keys and type nothing, AltGr types.
    void altKeysNeverTypeIntoTheBox() {
        ChoosingWindow w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(QApplication::focusWidget(), w.text);
        w.dialogs.taskFileAnswers = {filesOfOneFolder(2)};
        QTest::keyClick(w.text, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(w.dialogs.requests.size(), 1); // the button clicks a moment later
        QVERIFY(w.window.filesChosen());

        // Compute & save is disabled; the others have no access key at all.
        const Qt::KeyboardModifiers alts[] = {Qt::AltModifier, Qt::AltModifier | Qt::ShiftModifier};
        for (const Qt::KeyboardModifiers modifiers : alts)
            for (const char key : {'c', 'q', '7'})
                QTest::keyClick(w.text, key, modifiers);
        QCOMPARE(w.text->text(), QString());
        QVERIFY(!w.computeEnabled());

        QTest::keyClick(w.text, '@', Qt::GroupSwitchModifier);
        QCOMPARE(w.text->text(), QStringLiteral("@"));
        QVERIFY(w.computeEnabled());
    }

    void buttonChangesBeforeMenuItem() {
        ChoosingWindow w;
        QStringList changes;
        connect(w.saveItem, &QAction::enabledChanged, [&] { changes.append("mnuBewaar"); });
        struct ButtonSpy : QObject {
            QStringList& changes;
            explicit ButtonSpy(QStringList& c) : changes(c) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::EnabledChange) changes.append("cmdSave");
                return false;
            }
        } spy(changes);
        w.save->installEventFilter(&spy);

        w.text->setText(QStringLiteral("x"));
        w.window.selectTaskFiles("/d/a.vty");
        w.text->clear();
        QCOMPARE(changes, (QStringList{"cmdSave", "mnuBewaar", "cmdSave", "mnuBewaar"}));
    }

    void cancelledDialogsChangeNothing() {
        ChoosingWindow w;
        w.dialogs.taskFileAnswers = {filesOfOneFolder(3)};
        menuItem(w.window, "mnuOpen")->trigger();
        w.text->setText(QStringLiteral("/out/typed.dat"));
        QVERIFY(w.computeEnabled());

        menuItem(w.window, "mnuOpen")->trigger();             // cancelled
        control<QPushButton>(w.window, "cmdBlader")->click(); // cancelled
        QCOMPARE(w.window.fileList().fileCount(), 4);
        QCOMPARE(w.window.fileList().slot(4), "pp3.vty"s);
        QCOMPARE(w.text->text(), QStringLiteral("/out/typed.dat"));
        QVERIFY(w.computeEnabled());
        QVERIFY(w.dialogs.messages.isEmpty());

        ChoosingWindow fresh;
        control<QPushButton>(fresh.window, "Command1")->click(); // cancelled
        QVERIFY(!fresh.window.filesChosen());
        fresh.text->setText(QStringLiteral("out.dat"));
        QVERIFY(!fresh.computeEnabled());
    }

    void moreThan199FilesAreRefusedAsAWhole() {
        ChoosingWindow w;
        w.dialogs.taskFileAnswers = {filesOfOneFolder(199, "/big")};
        menuItem(w.window, "mnuOpen")->trigger();
        QCOMPARE(w.window.fileList().fileCount(), 200);

        w.dialogs.taskFileAnswers = {filesOfOneFolder(2, "/small"), filesOfOneFolder(200, "/big")};
        menuItem(w.window, "mnuOpen")->trigger();
        menuItem(w.window, "mnuOpen")->trigger();
        QCOMPARE(w.dialogs.messages.size(), 1);
        const FakeDialogs::Message& refusal = w.dialogs.messages.first();
        QVERIFY(refusal.critical);
        QVERIFY2(refusal.text.contains("Subscript out of range") && refusal.text.contains("199"),
                 qPrintable(refusal.text));
        QCOMPARE(w.window.fileList().fileCount(), 3);
        QCOMPARE(w.window.fileList().taskFiles(),
                 (std::vector<std::string>{"/small/pp1.vty", "/small/pp2.vty"}));
        QVERIFY(w.window.isEnabled());
    }

    // Whatever the user does, in whatever order, the compute commands are enabled exactly when
    // the box holds text and files have been chosen; cancelling and refused selections change
    // nothing else either.
    void commandStateInvariantHoldsAfterEveryStep() {
        for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
            std::mt19937 random(seed);
            const auto roll = [&](int sides) {
                return std::uniform_int_distribution<int>(0, sides - 1)(random);
            };
            ChoosingWindow w;
            bool chosen = false;
            int fileCount = 0;
            for (int step = 0; step < 400; ++step) {
                const int action = roll(9);
                switch (action) {
                case 0:
                case 1: { // a selection, sometimes too large, from button or menu
                    const int files = roll(8) == 0 ? 200 : 1 + roll(5);
                    w.dialogs.taskFileAnswers = {filesOfOneFolder(files)};
                    if (files <= 199) {
                        chosen = true;
                        fileCount = files == 1 ? 1 : files + 1;
                    }
                    if (action == 0)
                        control<QPushButton>(w.window, "Command1")->click();
                    else
                        menuItem(w.window, "mnuOpen")->trigger();
                    break;
                }
                case 2: // cancelled selection
                    menuItem(w.window, "mnuOpen")->trigger();
                    break;
                case 3:
                    QTest::keyClicks(w.text, roll(2) ? QStringLiteral("a") : QStringLiteral("  "));
                    break;
                case 4:
                    w.text->end(false);
                    QTest::keyClick(w.text, Qt::Key_Backspace);
                    break;
                case 5: w.text->clear(); break;
                case 6: // browse, answering a path or blanks
                    w.dialogs.outputFileAnswers = {roll(3) ? QStringLiteral("/out/r.dat")
                                                           : QStringLiteral(" ")};
                    menuItem(w.window, "mnuUitvoer")->trigger();
                    break;
                case 7: { // cancelled browse
                    const QString before = w.text->text();
                    control<QPushButton>(w.window, "cmdBlader")->click();
                    QCOMPARE(w.text->text(), before);
                    break;
                }
                case 8:
                    w.window.selectTaskFiles("");
                    chosen = true;
                    fileCount = 0;
                    break;
                }
                QVERIFY2(w.invariantHolds(), qPrintable(QStringLiteral("seed %1 step %2 action %3")
                                                            .arg(seed)
                                                            .arg(step)
                                                            .arg(action)));
                QCOMPARE(w.window.filesChosen(), chosen);
                QCOMPARE(int(w.window.fileList().fileCount()), fileCount);
            }
        }
    }
};

int selectionTests(int argc, char** argv) {
    SelectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "selection_test.moc"
