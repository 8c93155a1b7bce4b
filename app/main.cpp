#include "dialogs.h"
#include "frmMain.h"

#include <QApplication>
#include <clocale>
#include <csignal>

int main(int argc, char** argv) {
    // A file-size limit then fails a write with "File too large", which the window reports and
    // after which the output keeps its whole records, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    // Qt has switched the C library to the user's locale; say so here, so nobody is surprised.
    // The engine reads and writes numbers without the C locale and is not affected.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Dozorira"));
    QApplication::setDesktopFileName(QStringLiteral(DOZORIRA_APP_ID));

    dozorira::window::QtDialogs dialogs;
    dozorira::window::frmMain window(dialogs);
    window.show();
    return QApplication::exec();
}
