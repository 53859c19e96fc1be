#include "fake_dialogs.h"

namespace pelldrake::test {

FakeDialogs::FakeDialogs()
    : previous_(Dialogs::install(this))
{
}

FakeDialogs::~FakeDialogs()
{
    Dialogs::install(previous_);
}

QList<FakeDialogs::Call> FakeDialogs::callsOf(Kind kind) const
{
    QList<Call> result;
    for (const Call &call : calls_)
        if (call.kind == kind)
            result << call;
    return result;
}

QStringList FakeDialogs::messages() const
{
    QStringList texts;
    for (const Call &call : calls_)
        if (call.kind == Kind::Message || call.kind == Kind::Error)
            texts << call.text;
    return texts;
}

QStringList FakeDialogs::errors() const
{
    QStringList texts;
    for (const Call &call : callsOf(Kind::Error))
        texts << call.text;
    return texts;
}

void FakeDialogs::clear()
{
    calls_.clear();
    yesNo_.clear();
    input_.clear();
    save_.clear();
    open_.clear();
    login_.clear();
    unanswered_ = 0;
}

void FakeDialogs::showMessage(const QString &text)
{
    calls_ << Call{Kind::Message, QString(), text};
}

void FakeDialogs::showError(const QString &text)
{
    calls_ << Call{Kind::Error, QString(), text};
}

bool FakeDialogs::askYesNo(const QString &text, const QString &caption)
{
    calls_ << Call{Kind::YesNo, caption, text};
    if (yesNo_.empty()) {
        ++unanswered_;
        return false;
    }
    const bool answer = yesNo_.front();
    yesNo_.pop_front();
    return answer;
}

QString FakeDialogs::inputBox(const QString &caption, const QString &prompt, const QString &defaultText)
{
    calls_ << Call{Kind::Input, caption, prompt};
    if (input_.empty()) {
        ++unanswered_;
        return defaultText;
    }
    const std::optional<QString> answer = input_.front();
    input_.pop_front();
    return answer ? *answer : defaultText;
}

QString FakeDialogs::saveFileName(const QString &initialDir, const QString &proposedName,
                                  const QString &)
{
    calls_ << Call{Kind::Save, initialDir, proposedName};
    if (save_.empty()) {
        ++unanswered_;
        return QString();
    }
    const QString answer = save_.front();
    save_.pop_front();
    return answer;
}

QString FakeDialogs::openFileName(const QString &caption, const QString &initialDir, const QString &)
{
    calls_ << Call{Kind::Open, caption, initialDir};
    if (open_.empty()) {
        ++unanswered_;
        return QString();
    }
    const QString answer = open_.front();
    open_.pop_front();
    return answer;
}

bool FakeDialogs::askLogin(const QString &alias, QString &user, QString &password)
{
    calls_ << Call{Kind::Login, alias, user};
    if (login_.empty()) {
        ++unanswered_;
        return false;
    }
    const auto answer = login_.front();
    login_.pop_front();
    if (!answer)
        return false;
    user = answer->first;
    password = answer->second;
    return true;
}

} // namespace pelldrake::test
