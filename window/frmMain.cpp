#include "frmMain.h"

#include "dat_run.h"
#include "icon.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

namespace dozorira::window {
namespace {

const QString Caption = QStringLiteral("Vantry Dozorira");
const QString AuthorshipLine =
    QStringLiteral("Dozorira " DOZORIRA_VERSION ", by the Dozorira developers");
const QString InstitutionLine = QStringLiteral("For research with the Vantry search task");

// The layout is drawn in twips, 15 to a pixel at 96 dots per inch.
int pixels(int twips) {
    return qRound(twips / 15.0);
}

QRect twipRect(int left, int top, int width, int height) {
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

template <typename Control>
Control* place(QWidget* container, const char* name, const QRect& geometry) {
    auto* control = new Control(container);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

// The layout was drawn for an 8-point sans serif of Arial's width at 96 dots per inch; a wider
// or larger font would cut the captions off at the controls' fixed edges.
QFont layoutFont(QFont font) {
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica")});
    font.setPixelSize(11);
    return font;
}

char localeDecimalSeparator() {
    return QLocale::system().decimalPoint() == QStringLiteral(",") ? ',' : '.';
}

// Restores the cursor however the run ends, before any message box appears.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

FileDialogRequest taskFileRequest() {
    return {QStringLiteral("Open bestand(en)"),
            {QStringLiteral("Vantry bestanden (*.vty)")},
            QStringLiteral("vty"),
            QString()};
}

FileDialogRequest outputFileRequest(const QString& startPath) {
    return {QStringLiteral("Kies uitvoerbestand"),
            {QStringLiteral("Tekstbestand gescheiden door tab (*.dat)"),
             QStringLiteral("Alle bestanden (*)")},
            QStringLiteral("dat"),
            startPath};
}

// Alt with a key is an access key and never types, as on the platform the window comes from: a
// key without an enabled access key behind it would otherwise reach the box as text. AltGr,
// which X11 reports as the group switch, still types the characters it is there for.
class AltKeysDoNotType : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && typesWithAlt(*static_cast<QKeyEvent*>(event)))
            return true;
        return QObject::eventFilter(watched, event);
    }

private:
    static bool typesWithAlt(const QKeyEvent& key) {
        const Qt::KeyboardModifiers modifiers = key.modifiers();
        return modifiers.testFlag(Qt::AltModifier) &&
               !modifiers.testFlag(Qt::GroupSwitchModifier) && !key.text().isEmpty() &&
               key.text().front().isPrint();
    }
};

} // namespace

std::string selectionString(const QStringList& chosenPaths) {
    if (chosenPaths.size() == 1) return QFile::encodeName(chosenPaths.first()).toStdString();
    std::string selection;
    for (const QString& path : chosenPaths) {
        const QFileInfo file(path);
        if (selection.empty()) selection = QFile::encodeName(file.path()).toStdString();
        selection += '\0';
        selection += QFile::encodeName(file.fileName()).toStdString();
    }
    return selection;
}

QString errorMessage(const RunError& error, std::optional<int> recordsWritten) {
    QString text = QString::fromStdString(std::string(kindName(error.kind()))) +
                   QStringLiteral("\n\n") + QFile::decodeName(error.what());
    if (recordsWritten)
        text += QStringLiteral("\n\nRecords in the output file: %1").arg(*recordsWritten);
    return text;
}

QString infoText() {
    return Caption + QStringLiteral("\n\n") + AuthorshipLine + QStringLiteral("\n") +
           InstitutionLine;
}

frmMain::frmMain(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Caption);
    setWindowIcon(programIcon());
    setFont(layoutFont(font()));
    createControls();
    createMenus();
    orderTabStops();
    connectHandlers();
    Form_Load();
}

void frmMain::createControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(385, 294);
    setCentralWidget(client);
    // The layout is fixed: the window keeps the size of its client area and menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    frame1 = place<QGroupBox>(client, "frame1", twipRect(120, 120, 5295, 2775));
    UitvoerbestandlblTekst =
        place<QLabel>(frame1, "UitvoerbestandlblTekst", twipRect(360, 480, 1215, 255));
    UitvoerbestandlblTekst->setText(QStringLiteral("Export file name"));
    txtOutputFile = place<QLineEdit>(frame1, "txtOutputFile", twipRect(1560, 460, 2535, 285));
    txtOutputFile->installEventFilter(new AltKeysDoNotType(txtOutputFile));
    cmdBlader = place<QPushButton>(frame1, "cmdBlader", twipRect(4200, 420, 735, 375));
    cmdBlader->setText(QStringLiteral("&Browse"));
    optFile1 = place<QRadioButton>(frame1, "optFile(1)", twipRect(360, 1080, 3855, 375));
    optFile1->setText(QStringLiteral("Text file (tab delimited)"));
    optFile1->setChecked(true);
    optFile2 = place<QRadioButton>(frame1, "optFile(2)", twipRect(360, 1440, 3015, 255));
    optFile2->setText(QStringLiteral("SPSS file"));
    optFile2->setEnabled(false);
    chkHeader = place<QCheckBox>(frame1, "chkHeader", twipRect(360, 2280, 2535, 255));
    chkHeader->setText(QStringLiteral("Including variable names"));
    chkHeader->setChecked(true);

    Command1 = place<QPushButton>(client, "Command1", twipRect(840, 3120, 1815, 615));
    Command1->setText(QStringLiteral("&Open file(s)"));
    cmdSave = place<QPushButton>(client, "cmdSave", twipRect(2760, 3120, 1815, 615));
    cmdSave->setText(QStringLiteral("&Compute && save"));
    cmdSave->setEnabled(false);
}

void frmMain::createMenus() {
    mnuBestand = menuBar()->addMenu(QStringLiteral("&File"));
    mnuBestand->setObjectName(QStringLiteral("mnuBestand"));
    mnuOpen = addItem(mnuBestand, "mnuOpen", QStringLiteral("&Open file(s)"));
    mnuUitvoer = addItem(mnuBestand, "mnuUitvoer", QStringLiteral("&Select output file"));
    mnuBewaar = addItem(mnuBestand, "mnuBewaar", QStringLiteral("&Compute and save"));
    mnuBewaar->setEnabled(false);

    mnuExtra = menuBar()->addMenu(QStringLiteral("&Extra"));
    mnuExtra->setObjectName(QStringLiteral("mnuExtra"));
    mnuAflsuiten = addItem(mnuExtra, "mnuAflsuiten", QStringLiteral("&Exit"));
    mnuInfo = addItem(mnuExtra, "mnuInfo", QStringLiteral("&Info"));
}

void frmMain::orderTabStops() {
    QWidget* const order[] = {txtOutputFile, Command1, cmdBlader, chkHeader,
                              optFile1,      optFile2, cmdSave};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    txtOutputFile->setFocus();
}

void frmMain::connectHandlers() {
    const auto handle = [this](void (frmMain::*handler)()) {
        return [this, handler] { guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(Command1, &QPushButton::clicked, this, handle(&frmMain::Command1_Click));
    connect(cmdBlader, &QPushButton::clicked, this, handle(&frmMain::cmdBlader_Click));
    connect(cmdSave, &QPushButton::clicked, this, handle(&frmMain::cmdSave_Click));
    connect(txtOutputFile, &QLineEdit::textChanged, this, handle(&frmMain::txtOutputFile_Change));
    connect(mnuOpen, &QAction::triggered, this, handle(&frmMain::mnuOpen_Click));
    connect(mnuUitvoer, &QAction::triggered, this, handle(&frmMain::mnuUitvoer_Click));
    connect(mnuBewaar, &QAction::triggered, this, handle(&frmMain::mnuBewaar_Click));
    connect(mnuAflsuiten, &QAction::triggered, this, handle(&frmMain::mnuAflsuiten_Click));
    connect(mnuInfo, &QAction::triggered, this, handle(&frmMain::mnuInfo_Click));
}

void frmMain::Form_Load() {
    FilesChosen = false;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint screenCorner = screen ? screen->geometry().topLeft() : QPoint();
    placeFrame(screenCorner + QPoint(pixels(300), pixels(300)));
}

// Under X11, Qt tells the window manager whether the position a window asks for is that of its
// client area or of its frame when it makes the native window, and it says client area unless the
// frame's position was set first. A widget hands out its QWindow only with a native window made,
// so that one is dropped, and the one made on show asks for the frame's corner.
void frmMain::placeFrame(QPoint corner) {
    adjustSize(); // showing must change nothing, or Qt asks for the client area's position again
    move(corner);
    create();
    windowHandle()->destroy();
    windowHandle()->setFramePosition(corner);
}

void frmMain::selectTaskFiles(std::string_view selection) {
    FileList.select(selection);
    if (!txtOutputFile->text().isEmpty()) setComputeCommandsEnabled(true);
    FilesChosen = true;
}

void frmMain::Command1_Click() {
    const std::optional<QStringList> chosen = dialogs_.chooseTaskFiles(this, taskFileRequest());
    // A cancelled dialog is no selection: an empty list would make the next run write nothing.
    if (!chosen) return;
    selectTaskFiles(selectionString(*chosen));
}

void frmMain::cmdBlader_Click() {
    const std::optional<QString> chosen =
        dialogs_.chooseOutputFile(this, outputFileRequest(txtOutputFile->text()));
    if (chosen) txtOutputFile->setText(*chosen);
}

void frmMain::cmdSave_Click() {
    const output::DatOptions options{chkHeader->isChecked(), localeDecimalSeparator()};
    output::DatRun run(QFile::encodeName(txtOutputFile->text()).toStdString(), options);
    try {
        const WaitCursor wait;
        run.run(FileList.taskFiles());
    } catch (const RunError& error) {
        reportError(errorMessage(error, run.recordsWritten()));
    }
}

void frmMain::txtOutputFile_Change() {
    if (txtOutputFile->text().isEmpty())
        setComputeCommandsEnabled(false);
    else if (FilesChosen)
        setComputeCommandsEnabled(true);
}

// A handler of the window like the others, though it needs nothing of it.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
void frmMain::mnuAflsuiten_Click() {
    QCoreApplication::exit(0);
}

void frmMain::mnuInfo_Click() {
    dialogs_.showInformation(this, QStringLiteral("Info"), infoText());
}

// The button goes first: whoever watches them sees the menu item follow, never lead.
void frmMain::setComputeCommandsEnabled(bool enabled) {
    cmdSave->setEnabled(enabled);
    mnuBewaar->setEnabled(enabled);
}

// A fault in a handler is reported and the window carries on as it was; nothing is lost that
// the handler had not yet changed.
void frmMain::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RunError& error) {
        reportError(errorMessage(error));
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    }
}

void frmMain::reportError(const QString& text) {
    dialogs_.showCritical(this, Caption, text);
}

} // namespace dozorira::window
