#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace dozorira::window {
namespace {

// Shows a file dialog set up by the request; the chosen paths, or nothing when cancelled.
std::optional<QStringList> choose(QWidget* parent, const FileDialogRequest& request,
                                  QFileDialog::AcceptMode mode, QFileDialog::FileMode files) {
    QFileDialog dialog(parent);
    dialog.setWindowTitle(request.title);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.first());
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.startPath.isEmpty()) dialog.selectFile(request.startPath);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(files);
    // Researchers overwrite their output file run after run; asking every time only annoys.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles();
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

std::optional<QStringList> QtDialogs::chooseTaskFiles(QWidget* parent,
                                                      const FileDialogRequest& request) {
    return choose(parent, request, QFileDialog::AcceptOpen, QFileDialog::ExistingFiles);
}

std::optional<QString> QtDialogs::chooseOutputFile(QWidget* parent,
                                                   const FileDialogRequest& request) {
    const std::optional<QStringList> chosen =
        choose(parent, request, QFileDialog::AcceptSave, QFileDialog::AnyFile);
    if (!chosen) return std::nullopt;
    return chosen->first();
}

void QtDialogs::showInformation(QWidget* parent, const QString& title, const QString& text) {
    showMessage(parent, QMessageBox::Information, title, text);
}

void QtDialogs::showCritical(QWidget* parent, const QString& title, const QString& text) {
    showMessage(parent, QMessageBox::Critical, title, text);
}

} // namespace dozorira::window
