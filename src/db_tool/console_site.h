#pragma once

#include "maintenance/command_site.h"
#include "maintenance/maintenance.h"

#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;

namespace pelldrake::db::tool {

// A maintenance command's site on the console: a table opened on the source, no window. What
// the command says is kept until it has ended, so that report() can send it where its result
// belongs; questions are answered Yes only when the user said so up front (--yes); the counters,
// locks and event processing of the window have nothing to do here.
class ConsoleSite final : public maintenance::CommandSite {
public:
    ConsoleSite(engine::Table &table, QString aliasName, QString tableName, bool answerYes);

    engine::Table &table() override { return table_; }
    QString aliasName() const override { return alias_; }
    QString selectedTableName() const override { return tableName_; }
    QString chosenFieldName() const override { return {}; }
    void clearChosenField() override {}

    void showMessage(const QString &text) override { said_.append({false, text}); }
    void showError(const QString &text) override { said_.append({true, text}); }
    void showNotice(const QString &text) override { said_.append({false, text}); }
    bool askYesNo(const QString &text, const QString &caption) override;
    // No one to ask: as if cancelled.
    QString inputBox(const QString &, const QString &, const QString &defaultText) override { return defaultText; }

    void clearFilterBox() override {}
    void postPendingEdit() override {}
    void showRecordCounts() override {}
    void showRecordCount(std::optional<qint64>) noexcept override {}
    void showCurrentRecord(qint64) override {}
    void lockPaneControls(bool) override {}
    void lockCommandControls() override {}
    void unlockControls() noexcept override {}
    void processEvents() override {}
    bool reportProgress(qint64, qint64, ProgressUnit) override { return true; }

    // The questions answered No, in order.
    const QStringList &declined() const { return declined_; }
    // What the command said: after success its messages go to `out` and its errors to `err`;
    // after anything else all of it goes to `err`, with the questions answered No.
    void report(maintenance::CommandResult result, QTextStream &out, QTextStream &err) const;

private:
    struct Said {
        bool error;
        QString text;
    };
    engine::Table &table_;
    QString alias_;
    QString tableName_;
    bool answerYes_;
    QList<Said> said_;
    QStringList declined_;
};

// Done 0; Failed and Declined 1; BadInput 2.
int exitCode(maintenance::CommandResult result);

// "pelldrake-db: " before the first line of an error text (its further lines as they are).
void printError(QTextStream &err, const QString &text);

} // namespace pelldrake::db::tool
