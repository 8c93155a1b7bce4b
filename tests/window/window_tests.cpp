// The window's tests in one program, so that Qt's headers are compiled once for all of them:
// `window_tests NAME [Qt Test options]` runs the tests of NAME.
#include <QApplication>
#include <cstdio>
#include <map>
#include <string_view>

int startUpTests(int argc, char** argv);
int selectionTests(int argc, char** argv);
int localeTests(int argc, char** argv);
int runTests(int argc, char** argv);

int main(int argc, char** argv) {
    const std::map<std::string_view, int (*)(int, char**)> tests{
        {"startup", startUpTests},
        {"selection", selectionTests},
        {"locale", localeTests},
        {"run", runTests},
    };
    const auto chosen = argc > 1 ? tests.find(argv[1]) : tests.end();
    if (chosen == tests.end()) {
        std::fputs("usage: window_tests startup|selection|locale|run [Qt Test options]\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    // As Qt Test's own main does: sizes in pixels that do not depend on the screen.
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    argv[1] = argv[0]; // the test's arguments, as if it were a program of its own
    return chosen->second(argc - 1, argv + 1);
}
