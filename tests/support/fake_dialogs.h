#pragma once

#include "shell/dialogs.h"
#include "qt_printers.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <utility>

namespace pelldrake::test {

// A scripted dialogs service: records every message and question and answers
// from queues. Installs itself for its lifetime. A question with no scripted
// answer gets the cautious one (No, cancel) and is counted as unanswered.
class FakeDialogs : public Dialogs {
public:
    enum class Kind { Message, Error, YesNo, Input, Save, Open, Login };
    struct Call {
        Kind kind;
        QString caption; // Yes/No caption, input caption, login alias
        QString text;    // message text, question, input prompt, proposed file name
    };

    FakeDialogs();
    ~FakeDialogs() override;
    FakeDialogs(const FakeDialogs &) = delete;
    FakeDialogs &operator=(const FakeDialogs &) = delete;

    // Scripted answers, used in order.
    void answerYesNo(bool yes) { yesNo_.push_back(yes); }
    void answerInput(std::optional<QString> text) { input_.push_back(std::move(text)); }
    void answerSave(const QString &path) { save_.push_back(path); }
    void answerOpen(const QString &path) { open_.push_back(path); }
    void answerLogin(std::optional<std::pair<QString, QString>> userAndPassword)
    {
        login_.push_back(std::move(userAndPassword));
    }

    const QList<Call> &calls() const { return calls_; }
    QList<Call> callsOf(Kind kind) const;
    // Texts of information messages and errors, in order.
    QStringList messages() const;
    QStringList errors() const;
    int unanswered() const { return unanswered_; }
    void clear();

    void showMessage(const QString &text) override;
    void showError(const QString &text) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    QString inputBox(const QString &caption, const QString &prompt, const QString &defaultText) override;
    QString saveFileName(const QString &initialDir, const QString &proposedName,
                         const QString &filter) override;
    QString openFileName(const QString &caption, const QString &initialDir, const QString &filter) override;
    bool askLogin(const QString &alias, QString &user, QString &password) override;

private:
    Dialogs *previous_ = nullptr;
    QList<Call> calls_;
    std::deque<bool> yesNo_;
    std::deque<std::optional<QString>> input_;
    std::deque<QString> save_;
    std::deque<QString> open_;
    std::deque<std::optional<std::pair<QString, QString>>> login_;
    int unanswered_ = 0;
};

} // namespace pelldrake::test
