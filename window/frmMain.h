#pragma once

#include "dialogs.h"
#include "error.h"
#include "file_list.h"

#include <QMainWindow>
#include <functional>
#include <optional>
#include <string_view>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace dozorira::window {

// The selection string of a file-open dialog's answer: the one full path, or the folder of
// several files followed by their names, each piece after a NUL.
std::string selectionString(const QStringList& chosenPaths);

// The text of the box that reports an error; runs add how many records the output holds.
QString errorMessage(const RunError& error, std::optional<int> recordsWritten = std::nullopt);

// The text of the "Info" box.
QString infoText();

// The program's one window. Every control and menu item carries its name as object name.
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(Dialogs& dialogs, QWidget* parent = nullptr);

    // Replaces the file list with the pieces of a selection string and marks files as chosen.
    // More than 199 files are refused with a RunError, changing nothing.
    void selectTaskFiles(std::string_view selection);

    const TaskFileList& fileList() const { return FileList; }
    bool filesChosen() const { return FilesChosen; }

private:
    void createControls();
    void createMenus();
    void orderTabStops();
    void connectHandlers();

    void Form_Load();
    void placeFrame(QPoint corner);
    void Command1_Click();
    void cmdBlader_Click();
    void cmdSave_Click();
    void txtOutputFile_Change();
    void mnuOpen_Click() { Command1_Click(); }
    void mnuUitvoer_Click() { cmdBlader_Click(); }
    void mnuBewaar_Click() { cmdSave_Click(); }
    void mnuAflsuiten_Click();
    void mnuInfo_Click();

    void setComputeCommandsEnabled(bool enabled);
    void guarded(const std::function<void()>& handler);
    void reportError(const QString& text);

    Dialogs& dialogs_;
    TaskFileList FileList;
    bool FilesChosen = false;

    QGroupBox* frame1 = nullptr;
    QLabel* UitvoerbestandlblTekst = nullptr;
    QLineEdit* txtOutputFile = nullptr;
    QPushButton* cmdBlader = nullptr;
    QRadioButton* optFile1 = nullptr;
    QRadioButton* optFile2 = nullptr;
    QCheckBox* chkHeader = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdSave = nullptr;

    QMenu* mnuBestand = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuUitvoer = nullptr;
    QAction* mnuBewaar = nullptr;
    QMenu* mnuExtra = nullptr;
    QAction* mnuAflsuiten = nullptr;
    QAction* mnuInfo = nullptr;
};

} // namespace dozorira::window
