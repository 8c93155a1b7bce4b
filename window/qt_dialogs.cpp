#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace dozorira::window {
namespace {

void applyRequest(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(request.title);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.first());
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.startPath.isEmpty()) dialog.selectFile(request.startPath);
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

std::optional<QStringList> QtDialogs::chooseTaskFiles(QWidget* parent,
                                                      const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    applyRequest(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedFiles();
}

std::optional<QString> QtDialogs::chooseOutputFile(QWidget* parent,
                                                   const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    applyRequest(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Researchers overwrite their output file run after run; asking every time only annoys.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

void QtDialogs::showInformation(QWidget* parent, const QString& title, const QString& text) {
    showMessage(parent, QMessageBox::Information, title, text);
}

void QtDialogs::showCritical(QWidget* parent, const QString& title, const QString& text) {
    showMessage(parent, QMessageBox::Critical, title, text);
}

} // namespace dozorira::window
