#pragma once

// Questions answered from a script, by role, at once; what was asked is kept. With `hold` set the answers
// wait until answerHeld(), as a real window's would.

#include "core/base/Dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>

struct ScriptedDialogs {
    // Answers for the next alerts, text and folder questions, in order; none left: closed.
    std::deque<AlertAnswer> answers;
    std::deque<std::optional<QString>> textAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    QList<FileQuestion> fileQuestions;
    QList<Alert> alerts;
    QList<TextQuestion> textQuestions;
    QList<FolderQuestion> folderQuestions;
    // Run while an alert is up (for the Trash count).
    std::function<void(const Alert &)> whileOpen;
    bool callOnShown = true; // false: the alert is answered before it could show any update
    int updates = 0;
    bool hold = false;
    std::deque<std::function<void()>> held;

    Dialogs dialogs() {
        Dialogs d;
        d.alert = [this](const Alert &a, Dialogs::AlertDone done) {
            alerts << a;
            if (a.onShown && callOnShown) {
                updates = 0;
                a.onShown([this, n = alerts.size() - 1](const QString &text, bool enable) {
                    alerts[n].informative = text;
                    if (enable) alerts[n].disabled = AlertRole::closed;
                    ++updates;
                });
            }
            if (whileOpen) whileOpen(a);
            const AlertAnswer answer = next(answers, AlertAnswer{});
            // A script that answers with a button the alert does not have is wrong.
            EXPECT_TRUE(answer.role == AlertRole::closed || a.has(answer.role)) << a.message.toStdString();
            reply([done = std::move(done), answer] { done(answer); });
        };
        d.askText = [this](const TextQuestion &q, Dialogs::TextDone done) {
            textQuestions << q;
            reply([done = std::move(done), answer = next(textAnswers, std::optional<QString>())] {
                done(answer);
            });
        };
        d.askFolder = [this](const FolderQuestion &q, Dialogs::TextDone done) {
            folderQuestions << q;
            reply([done = std::move(done), answer = next(folderAnswers, std::optional<QString>())] {
                done(answer);
            });
        };
        d.askFile = [this](const FileQuestion &q, Dialogs::TextDone done) {
            fileQuestions << q;
            reply([done = std::move(done), answer = next(fileAnswers, std::optional<QString>())] {
                done(answer);
            });
        };
        return d;
    }

    void answerHeld() {
        while (!held.empty()) {
            auto answer = std::move(held.front());
            held.pop_front();
            answer();
        }
    }

private:
    template <typename T> static T next(std::deque<T> &script, T none) {
        if (!script.empty()) {
            none = script.front();
            script.pop_front();
        }
        return none;
    }
    void reply(std::function<void()> answer) {
        if (hold)
            held.push_back(std::move(answer));
        else
            answer();
    }
};
