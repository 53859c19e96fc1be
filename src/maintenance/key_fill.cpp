// Fills a string column with unique date-time keys.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/command_steps.h"
#include "maintenance/maintenance.h"
#include "maintenance/unique_keys.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/field.h"
#include "engine/table.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace pelldrake::maintenance {

namespace {

constexpr int kKeyColumnSize = 20;

QString noColumnText()
{
    return QStringLiteral("Please select (String) field that is at least 20 char for fill value.");
}

QString tooShortText()
{
    return QStringLiteral("The field is not long enought to hold UNIQUE DataTime value as string (20 char).");
}

QString doneText()
{
    return QStringLiteral("Unique string key values have been loaded.");
}

// The closing message with how many records the fill changed.
QString doneText(qint64 changed)
{
    return doneText() + QLatin1Char('\n') + QStringLiteral("%1 changed.").arg(recordsText(changed));
}

QString stoppedFillText(qint64 changed, qint64 total)
{
    return stoppedText(changed, total, QStringLiteral("Those records have their keys; the others are unchanged."));
}

// The column named in the field name box, when it can hold a key; otherwise
// the user is told why and the result is -1. A name that is no field of the
// table raises the engine's error.
int keyColumn(CommandSite &site)
{
    const QString name = site.chosenFieldName();
    if (name.isEmpty()) {
        site.showMessage(noColumnText());
        return -1;
    }
    const engine::Field *field = site.table().fieldByName(name);
    const int type = field->dataType();
    const bool isString = type == engine::ftString || type == engine::ftFixedChar
        || type == engine::ftWideString;
    // A number column would take the digits as a number, and a memo has no
    // declared size: only a string column of at least 20 characters is taken.
    if (!isString || field->size() < kKeyColumnSize) {
        site.showMessage(tooShortText());
        return -1;
    }
    return field->index();
}

// `NAME = ''`: the records whose value in the column is empty or null. The
// name is quoted, so that any column name reads as one name.
QString emptyValueFilter(const QString &fieldName)
{
    QString quoted = fieldName;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1String("\" = ''");
}

// The grid and navigator must not move the cursor under the loop either.
void lockForFill(CommandFrame &frame)
{
    frame.lockCommandControls();
    frame.lockPaneControls(false);
}

// The fill's transactions: one commit per kBatch records, each checked, and the
// number of records whose keys are committed, which is what a failure reports.
class FillCommits {
public:
    explicit FillCommits(engine::Database &db) : db_(db) { open(); }

    void posted()
    {
        if (++posted_ - committed_ >= kBatch) {
            commit();
            open();
        }
    }
    // Throws the engine's reason when the commit fails; nothing since the last
    // commit is stored then.
    void commit()
    {
        if (!open_)
            return;
        open_ = false;
        batch_->finish();
        committed_ = posted_;
    }
    // On the way out of a failure: the keys posted before it are kept when they
    // can be committed. Never throws.
    void keepWhatWasPosted() noexcept
    {
        try {
            commit();
        } catch (...) {
        }
    }
    int committed() const { return committed_; }

private:
    void open()
    {
        // Commits only through commit(): the count follows every commit.
        batch_.emplace(db_, std::numeric_limits<int>::max());
        open_ = true;
    }

    static constexpr int kBatch = 500;
    engine::Database &db_;
    std::optional<engine::TransactionBatch> batch_;
    bool open_ = false;
    int posted_ = 0;
    int committed_ = 0;
};

// A fill that failed part-way: the keys posted before the error are committed
// when they can be, the table shows the whole table as stored, and the
// counters say what is there. The caller then rethrows the fill's error.
void settleFill(CommandSite &site, CommandFrame &frame, FillCommits &commits)
{
    engine::Table &table = site.table();
    try {
        if (table.state() == engine::TableState::Edit)
            table.cancel();
    } catch (...) {
    }
    commits.keepWhatWasPosted();
    frame.unlock();
    try {
        table.setFilter(QString());
        table.setFiltered(false);
    } catch (...) {
    }
    settleAfterFailure(site);
}

} // namespace

CommandResult fillEmptyWithUniqueKeys(CommandSite &site)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        clearFilter(site);
        frame.suspendNotifications(false);

        const QString answer = site.inputBox(QStringLiteral("Max Records"),
                                             QStringLiteral("Maximum records to change"), QStringLiteral("0"));
        bool ok = false;
        const int maximum = answer.trimmed().toInt(&ok);
        if (!ok) {
            site.showMessage(QStringLiteral("Error occurred, please re-enter value."));
            return CommandResult::BadInput;
        }
        const int column = keyColumn(site);
        if (column < 0)
            return CommandResult::BadInput;
        lockForFill(frame);

        table.setFilter(emptyValueFilter(table.field(column)->fieldName()));
        table.setFiltered(true);
        table.first();
        int filled = 0;
        frame.setProgress([&] { site.showCurrentRecord(filled); });
        qint64 total = 0;
        if (maximum > 0) {
            total = std::min<qint64>(maximum, table.shownRecordCount());
            frame.measure(CommandSite::ProgressUnit::Records, total, [&] { return filled; });
            UniqueKeys keys;
            FillCommits commits(*table.database());
            try {
                while (!table.eof() && filled < maximum && !frame.stopRequested()) {
                    frame.keepResponsive();
                    if (table.field(column)->text().isEmpty()) {
                        ++filled;
                        const QString key = keys.next();
                        table.edit();
                        table.field(column)->setValue(key);
                        table.post();
                        commits.posted();
                        // A filled record leaves the filtered view; the next one is current.
                    } else {
                        table.next();
                    }
                }
                commits.commit();
            } catch (...) {
                settleFill(site, frame, commits);
                // The records filled are those committed.
                site.showCurrentRecord(commits.committed());
                throw;
            }
        }
        site.showCurrentRecord(filled);

        site.clearChosenField();
        table.setFilter(QString());
        table.setFiltered(false);
        table.first();
        site.showRecordCount(table.recordCount());
        frame.unlock();
        if (frame.stopRequested()) {
            site.showMessage(stoppedFillText(filled, total));
            return CommandResult::Stopped;
        }
        if (maximum <= 0)
            site.showMessage(doneText() + QLatin1Char('\n')
                             + QStringLiteral("A maximum of %1 changes nothing: no record was changed.").arg(maximum));
        else
            site.showMessage(doneText(filled));
        return CommandResult::Done;
    });
}

CommandResult fillAllWithUniqueKeys(CommandSite &site)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        clearFilter(site);
        const int column = keyColumn(site);
        if (column < 0)
            return CommandResult::BadInput;
        frame.suspendNotifications(false);
        lockForFill(frame);

        UniqueKeys keys;
        table.first();
        qint64 changed = 0;
        const qint64 total = table.recordCount();
        frame.measure(CommandSite::ProgressUnit::Records, total, [&] { return changed; });
        FillCommits commits(*table.database());
        try {
            while (!table.eof() && !frame.stopRequested()) {
                frame.keepResponsive();
                const QString key = keys.next();
                table.edit();
                table.field(column)->setValue(key);
                table.post();
                commits.posted();
                ++changed;
                table.next();
            }
            commits.commit();
        } catch (...) {
            settleFill(site, frame, commits);
            throw;
        }
        site.clearChosenField();
        table.first();
        frame.unlock();
        if (frame.stopRequested()) {
            site.showMessage(stoppedFillText(changed, total));
            return CommandResult::Stopped;
        }
        site.showMessage(doneText(changed));
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
