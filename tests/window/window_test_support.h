#pragma once

#include "dialogs.h"

#include <QAction>
#include <QList>
#include <QWidget>
#include <deque>

namespace dozorira::window::test {

// Answers the window's dialogs from queues filled by the test, and remembers what was asked.
// An empty queue answers "cancelled".
class FakeDialogs : public Dialogs {
public:
    struct Message {
        bool critical;
        QString title;
        QString text;
    };

    std::deque<QStringList> taskFileAnswers;
    std::deque<QString> outputFileAnswers;
    QList<FileDialogRequest> requests;
    QList<Message> messages;

    std::optional<QStringList> chooseTaskFiles(QWidget*,
                                               const FileDialogRequest& request) override {
        return answer(taskFileAnswers, request);
    }
    std::optional<QString> chooseOutputFile(QWidget*, const FileDialogRequest& request) override {
        return answer(outputFileAnswers, request);
    }
    void showInformation(QWidget*, const QString& title, const QString& text) override {
        messages.append({false, title, text});
    }
    void showCritical(QWidget*, const QString& title, const QString& text) override {
        messages.append({true, title, text});
    }

private:
    template <typename Answer>
    std::optional<Answer> answer(std::deque<Answer>& answers, const FileDialogRequest& request) {
        requests.append(request);
        if (answers.empty()) return std::nullopt;
        Answer next = answers.front();
        answers.pop_front();
        return next;
    }
};

// A control or menu item of the window, found by its name.
template <typename T = QWidget> T* control(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no control %s", name);
    return found;
}

inline QAction* menuItem(const QObject& window, const char* name) {
    return control<QAction>(window, name);
}

} // namespace dozorira::window::test
