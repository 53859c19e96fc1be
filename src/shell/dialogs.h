#pragma once

#include <QString>

class QWidget;

namespace pelldrake {

// Every message box, question, input box, save dialog and login dialog of the
// program goes through this interface, so that tests can answer them from a
// script instead of waiting on a modal window.
class Dialogs {
public:
    virtual ~Dialogs();

    // Plain information box with the application's title and an OK button.
    virtual void showMessage(const QString &text) = 0;
    // The default error display: an error no handler caught.
    virtual void showError(const QString &text) = 0;
    // Yes/No question with its own caption; true means Yes.
    virtual bool askYesNo(const QString &text, const QString &caption) = 0;
    // Input box: the entered text, or defaultText when the user cancels.
    virtual QString inputBox(const QString &caption, const QString &prompt,
                             const QString &defaultText) = 0;
    // Save dialog: the chosen path, or an empty string when cancelled.
    virtual QString saveFileName(const QString &initialDir, const QString &proposedName,
                                 const QString &filter) = 0;
    // Open dialog: the chosen existing file, or an empty string when cancelled.
    virtual QString openFileName(const QString &caption, const QString &initialDir,
                                 const QString &filter) = 0;
    // Login dialog of the database engine; false when the user cancels.
    virtual bool askLogin(const QString &alias, QString &user, QString &password) = 0;

    // The installed service. Until something is installed this is the Qt
    // implementation; installing nullptr restores it.
    static Dialogs &instance();
    static Dialogs *install(Dialogs *dialogs); // returns the previous one
};

inline Dialogs &dialogs() { return Dialogs::instance(); }

// The real implementation: modal Qt dialogs parented to the active window.
class QtDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override;
    void showError(const QString &text) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    QString inputBox(const QString &caption, const QString &prompt,
                     const QString &defaultText) override;
    QString saveFileName(const QString &initialDir, const QString &proposedName,
                         const QString &filter) override;
    QString openFileName(const QString &caption, const QString &initialDir,
                         const QString &filter) override;
    bool askLogin(const QString &alias, QString &user, QString &password) override;

private:
    static QWidget *parentWindow();
};

} // namespace pelldrake
