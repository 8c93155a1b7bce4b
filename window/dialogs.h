#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace dozorira::window {

// What a file dialog shows. The first filter is preselected.
struct FileDialogRequest {
    QString title;
    QStringList filters;
    QString defaultSuffix;
    QString startPath; // empty: no initial folder or file
};

// The modal dialogs and message boxes of the window. The program shows Qt's; tests answer them
// without any window appearing.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Full paths of the chosen files, all of one folder; nothing when cancelled.
    virtual std::optional<QStringList> chooseTaskFiles(QWidget* parent,
                                                       const FileDialogRequest& request) = 0;
    // The chosen path, the default suffix added to a name without one; nothing when cancelled.
    virtual std::optional<QString> chooseOutputFile(QWidget* parent,
                                                    const FileDialogRequest& request) = 0;

    virtual void showInformation(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void showCritical(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Qt's own file dialogs and message boxes.
class QtDialogs : public Dialogs {
public:
    std::optional<QStringList> chooseTaskFiles(QWidget* parent,
                                               const FileDialogRequest& request) override;
    std::optional<QString> chooseOutputFile(QWidget* parent,
                                            const FileDialogRequest& request) override;
    void showInformation(QWidget* parent, const QString& title, const QString& text) override;
    void showCritical(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace dozorira::window
