// Appends the records of a CSV file to a table, every record accounted for: see csv.h.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/command_steps.h"
#include "maintenance/csv.h"
#include "maintenance/csv_pg_copy.h"
#include "maintenance/csv_sqlite_insert.h"
#include "maintenance/line_io.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/table.h"
#include "engine/table_appender.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <deque>
#include <optional>
#include <tuple>
#include <vector>

namespace pelldrake::maintenance {

namespace {

// A record on its way to the table, kept until the engine has taken it: on PostgreSQL records go
// to the server in groups, and a refused one may be reported a few records later.
struct Pending {
    qint64 number = -1; // the appender's number for it
    qint64 line = 0;
    QByteArray raw;
    std::vector<std::optional<QString>> values; // per column of the file; nothing = NULL
};

// The engine's "'x' is not a valid integer value for field 'n'." without what the listing
// already says.
QString reasonOf(const QString &message)
{
    static const QRegularExpression bad(QStringLiteral("^'.*' is not a valid (.+) value for field '.*'\\.$"),
                                        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = bad.match(message);
    return m.hasMatch() ? QStringLiteral("not a valid %1 value").arg(m.captured(1)) : message;
}

QString shown(const QString &value)
{
    constexpr qsizetype kLongest = 80;
    QString v = value.size() > kLongest ? value.left(kLongest) + QStringLiteral("...") : value;
    v.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return v.replace(QLatin1Char('"'), QStringLiteral("\"\""));
}

// A value of a column that is no text whose text is already what the engine's conversion
// (engine::textToValue) makes of it: it is stored without that conversion, as its bytes or as the
// number they say. Anything else (spaces around it, "007", "yes", another date form) goes
// through the conversion, which also says why it refuses a value.
enum class Plain { No, Integer, Number, Date, True, False };

Plain plainForm(int type, QByteArrayView v)
{
    const auto digits = [](QByteArrayView d) {
        if (d.isEmpty())
            return false;
        for (const char c : d)
            if (c < '0' || c > '9')
                return false;
        return true;
    };
    const QByteArrayView magnitude = v.startsWith('-') ? v.sliced(1) : v;
    if (engine::isIntegerType(type)) // within a 64-bit integer, as the conversion reads it
        return magnitude.size() <= 18 && digits(magnitude) ? Plain::Integer : Plain::No;
    if (type == engine::ftBCD || type == engine::ftFMTBcd) {
        const qsizetype point = magnitude.indexOf('.');
        const bool plain = point < 0 ? digits(magnitude) : digits(magnitude.first(point)) && digits(magnitude.sliced(point + 1));
        return plain ? Plain::Number : Plain::No;
    }
    if (type == engine::ftBoolean)
        return v == "true" ? Plain::True : v == "false" ? Plain::False : Plain::No;
    if (type == engine::ftDate) {
        if (v.size() != 10 || v[4] != '-' || v[7] != '-')
            return Plain::No;
        int n[3] = {0, 0, 0};
        for (const auto &[from, to, k] : {std::tuple{0, 4, 0}, std::tuple{5, 7, 1}, std::tuple{8, 10, 2}}) {
            for (int i = from; i < to; ++i) {
                if (v[i] < '0' || v[i] > '9')
                    return Plain::No;
                n[k] = n[k] * 10 + (v[i] - '0');
            }
        }
        return n[0] >= 1 && QDate::isValid(n[0], n[1], n[2]) ? Plain::Date : Plain::No;
    }
    return Plain::No;
}

class Importer {
public:
    Importer(CommandSite &site, CommandFrame &frame, const CsvImportOptions &options, CsvImportReport &report)
        : site_(site), frame_(frame), o_(options), report_(report), table_(site.table()),
          reader_(options.path, options.form.dialect, options.form.encoding),
          marker_(options.nullMarker.toUtf8())
    {
    }

    CommandResult run();

private:
    bool readHeader();
    bool mapColumns(const QStringList &names);
    void load();
    bool take(Pending &record); // false: rejected
    void submit(Pending record);
    void copyDirectly(qint64 line);
    bool widthOk(qint64 line);
    bool nullField(int i) const;
    void insertDirectly(qint64 line);
    // Commits the open transaction; its `pending` records count as loaded.
    void commitLoaded(qint64 &pending);
    void flushCopy(bool last = false);
    void stopIfConnectionLost(const QString &error);
    void settle(const engine::EngineError &e);
    void finish();
    void reject(qint64 line, int column, const QString &value, const QString &reason, QByteArrayView raw);
    QString columnName(int column) const;
    QByteArrayView rawOf(const Pending &record) const { return record.raw.isNull() ? reader_.rawText() : record.raw; }
    bool stopNow() const { return stop_ || (o_.stopAtFirstError && report_.rejected > 0); }

    CommandSite &site_;
    CommandFrame &frame_;
    const CsvImportOptions &o_;
    CsvImportReport &report_;
    engine::Table &table_;
    CsvReader reader_;
    QByteArray marker_;
    std::vector<int> fieldOf_; // file column -> table field
    QStringList header_;
    QByteArray headerRaw_;
    int width_ = -1;
    std::optional<CsvReader::Status> firstStatus_; // a first record read as data
    std::optional<engine::TableAppender> appender_;
    std::deque<Pending> kept_; // PostgreSQL: the records the server may not have taken yet
    bool postgres_ = false;
    bool stop_ = false;
    std::optional<LineWriter> rejects_;
    std::optional<PgCopy> copy_;  // PostgreSQL: records go in batches through COPY
    // The batch being copied, sent again in parts when the server refuses it: each record's text
    // as read, its fields (in that text, or kept apart when they held ""), its COPY form.
    struct Copied {
        qint64 line;
        qsizetype raw;    // in copiedBytes_
        qsizetype rawSize;
        size_t fields;    // in copiedFields_
        qsizetype copyLine; // in copiedLines_, or in copiedBytes_ when sent as read
        qsizetype copyLineSize;
        bool asRead;
    };
    QByteArray copiedLines_; // the records in COPY's form, to send again in parts
    std::vector<Copied> copied_;
    QByteArray copiedBytes_;
    struct CopiedField {
        qsizetype at;   // in copiedBytes_
        qsizetype size; // -1: NULL
    };
    std::vector<CopiedField> copiedFields_;
    QByteArray copyLine_; // the record at hand in COPY's form
    bool rawForm_ = false; // the file's form is COPY's: a record may go as it was read
    Pending copiedRecord(size_t k) const;
    void resend(size_t from, size_t to);
    bool copiedAny_ = false;
    qint64 copiedInTransaction_ = 0; // copied, not committed yet
    static constexpr qint64 kCopyCommit = 100000;
    std::optional<SqliteInsert> insert_; // SQLite: records bound from the reader's bytes
    std::vector<int> types_;             // per file column: its field's type
    qint64 insertedInTransaction_ = 0;
    static constexpr qint64 kInsertCommit = 50000; // each commit waits for the disk
    // Records per COPY: each ends with a wait for the server, and a refused one goes again in
    // halves. Without a window to serve, the COPY runs longer.
    static constexpr size_t kCopyRecords = 10000;
    static constexpr size_t kCopyRecordsAlone = 25000;
    static constexpr qsizetype kCopyBytes = 8 * 1024 * 1024; // what a batch keeps, however long its records
    static constexpr size_t kRecordByRecord = 64; // a refused group this small goes through the appender
};

QString Importer::columnName(int column) const
{
    if (column >= 0 && size_t(column) < fieldOf_.size() && fieldOf_[size_t(column)] >= 0)
        return table_.field(fieldOf_[size_t(column)])->fieldName();
    if (column >= 0 && column < header_.size())
        return header_[column];
    return column >= 0 ? QString::number(column + 1) : QString(); // -1: the record as a whole
}

void Importer::reject(qint64 line, int column, const QString &value, const QString &reason, QByteArrayView raw)
{
    ++report_.rejected;
    if (report_.rejections.size() < CsvImportReport::kKeptRejections) {
        QString oneLine = reason; // a server's DETAIL line joins its message: one record, one line
        oneLine.replace(QStringLiteral("\n"), QStringLiteral("; "));
        report_.rejections.append({line, columnName(column), value, oneLine});
    }
    if (rejects_) {
        rejects_->writeUtf8(raw);
        rejects_->endLine();
    }
}

bool Importer::mapColumns(const QStringList &names)
{
    fieldOf_.assign(size_t(width_), -1);
    if (o_.form.header && o_.matchByName) {
        QStringList unknown;
        for (int i = 0; i < width_; ++i) {
            const engine::Field *f = table_.findField(names.value(i).trimmed());
            if (f)
                fieldOf_[size_t(i)] = f->index();
            else
                unknown << QLatin1Char('"') + names.value(i) + QLatin1Char('"');
        }
        if (!unknown.isEmpty()) {
            site_.showError(QStringLiteral("The header names no column of the table %1: %2. Nothing was imported.")
                                .arg(table_.tableName(), unknown.join(QStringLiteral(", "))));
            return false;
        }
        return true;
    }
    if (width_ > table_.fieldCount()) {
        site_.showError(QStringLiteral("The file has %1 fields a record and the table %2 only %3 columns. "
                                       "Nothing was imported.")
                            .arg(width_).arg(table_.tableName()).arg(table_.fieldCount()));
        return false;
    }
    for (int i = 0; i < width_; ++i)
        fieldOf_[size_t(i)] = i;
    return true;
}

bool Importer::readHeader()
{
    // The first record sets the width; with a header it names the columns.
    const CsvReader::Status s = reader_.next();
    if (s == CsvReader::Status::End) {
        site_.showError(reader_.failed()
                            ? QStringLiteral("Cannot read the file %1: %2").arg(o_.path, reader_.errorString())
                            : QStringLiteral("The file %1 holds no record: nothing was imported.").arg(o_.path));
        return false;
    }
    if (s == CsvReader::Status::BadRecord && o_.form.header) {
        site_.showError(QStringLiteral("The header line of %1 cannot be read (line %2: %3). Nothing was imported.")
                            .arg(o_.path)
                            .arg(reader_.faultLine())
                            .arg(reader_.fault()));
        return false;
    }
    if (o_.form.header) {
        width_ = reader_.fieldCount();
        for (int i = 0; i < width_; ++i)
            header_ << QString::fromUtf8(reader_.field(i));
        headerRaw_ = reader_.rawText().toByteArray();
    } else {
        firstStatus_ = s;
        width_ = s == CsvReader::Status::Record ? reader_.fieldCount() : -1;
        if (width_ < 0)
            width_ = table_.fieldCount();
    }
    return mapColumns(header_);
}

CommandResult Importer::run()
{
    // A PostgreSQL table without a key is browsed read-only but takes appended records.
    const bool appendable = table_.canModify()
        || (table_.active() && table_.database() && table_.database()->isPostgres() && !table_.database()->readOnly());
    if (!appendable) {
        site_.showError(QStringLiteral("The table %1 is read-only: nothing was imported.").arg(table_.tableName()));
        return CommandResult::BadInput;
    }
    const QFileInfo info(o_.path);
    if (info.isDir() || !reader_.open()) {
        site_.showError(QStringLiteral("Cannot read the file %1: %2")
                            .arg(o_.path, info.isDir() ? QStringLiteral("Is a directory") : reader_.errorString()));
        return CommandResult::BadInput;
    }
    if (!readHeader())
        return CommandResult::BadInput;
    if (!o_.rejectsPath.isEmpty()) {
        rejects_.emplace(o_.rejectsPath);
        if (!rejects_->open()) {
            site_.showError(QStringLiteral("Cannot create the file %1: %2").arg(o_.rejectsPath, rejects_->errorString()));
            return CommandResult::BadInput;
        }
        if (o_.form.header)
            rejects_->writeLine(QString::fromUtf8(headerRaw_));
    }

    site_.postPendingEdit();
    frame_.lockPaneControls();
    frame_.suspendNotifications(false);
    frame_.quietTable();
    frame_.setProgress([&] {
        // A COPY being streamed holds the connection: it ends before the window may read.
        if (copy_ && !o_.windowless)
            flushCopy();
        if (!site_.reportProgress(reader_.bytesRead(), reader_.fileSize(), CommandSite::ProgressUnit::Bytes))
            stop_ = true;
        site_.showRecordCounts();
    });
    // The window shows the import from its start; a stop asked for already ends it before a record.
    if (!site_.reportProgress(0, reader_.fileSize(), CommandSite::ProgressUnit::Bytes))
        stop_ = true;
    postgres_ = table_.database() && table_.database()->isPostgres();
    const qint64 before = table_.recordCount();
    try {
        load();
    } catch (const engine::EngineError &e) {
        // The connection or a commit failed: what was committed stays, and the table says how
        // much of the file it holds.
        appender_.reset();
        frame_.unlock();
        const std::optional<qint64> count = settleAfterFailure(site_);
        report_.failure = e.message();
        if (count)
            report_.loaded = std::max<qint64>(0, *count - before);
        site_.showError(QStringLiteral("%1\n(%2)\nThe import stopped: %3.")
                            .arg(e.message(), o_.path, report_.summary()));
        return CommandResult::Failed;
    }
    if (rejects_ && !rejects_->commit())
        site_.showError(QStringLiteral("Cannot write the file %1: %2").arg(o_.rejectsPath, rejects_->errorString()));
    frame_.unlock();
    site_.showRecordCounts();

    // A server takes records in groups and may refuse one after later ones were listed.
    std::stable_sort(report_.rejections.begin(), report_.rejections.end(),
                     [](const CsvRejection &a, const CsvRejection &b) { return a.line < b.line; });
    QStringList lines;
    for (const CsvRejection &r : report_.rejections)
        lines << r.text();
    if (report_.rejected > report_.rejections.size())
        lines << QStringLiteral("(%1 more rejected records not listed)").arg(report_.rejected - report_.rejections.size());
    if (report_.cancelled)
        lines << QStringLiteral("Stopped at your request after %1 of %2 bytes; what was loaded is kept.")
                     .arg(reader_.bytesRead())
                     .arg(reader_.fileSize());
    else if (report_.stoppedAtError)
        lines << QStringLiteral("Stopped at the first rejected record; what was loaded before it is kept.");
    lines << report_.summary();
    const QString text = lines.join(QLatin1Char('\n'));
    if (report_.rejected == 0 && !report_.cancelled) {
        site_.showMessage(text);
        return CommandResult::Done;
    }
    site_.showError(text);
    return CommandResult::Failed;
}

void Importer::load()
{
    appender_.emplace(table_, o_.batchSize);
    appender_->setBetweenSteps([&] { frame_.keepResponsive(); });
    // COPY reports a refused record only at the end of its batch; stopping at the first error
    // wants each record's answer before the next is read.
    if (postgres_ && !o_.stopAtFirstError) {
        QStringList columns;
        for (const int field : fieldOf_)
            columns << table_.field(field)->fieldName();
        copy_.emplace(*table_.database(), table_.tableName(), columns);
        if (!copy_->available())
            copy_.reset();
        for (const int field : fieldOf_)
            types_.push_back(table_.field(field)->dataType());
        const CsvDialect &d = o_.form.dialect;
        rawForm_ = d.delimiter == ',' && d.quote == '"' && !d.quoteInFieldIsData && o_.nulls == CsvNulls::UnquotedEmpty
            && marker_.isEmpty();
    }
    if (!postgres_ && table_.database()) {
        QStringList columns;
        for (const int field : fieldOf_) {
            columns << table_.field(field)->fieldName();
            types_.push_back(table_.field(field)->dataType());
        }
        insert_.emplace(*table_.database(), table_.tableName(), columns);
        if (!insert_->available())
            insert_.reset();
    }
    bool first = firstStatus_.has_value();
    for (;;) {
        frame_.keepResponsive();
        if (stopNow())
            break;
        CsvReader::Status s;
        if (first) {
            s = *firstStatus_;
            first = false;
        } else {
            s = reader_.next();
        }
        if (s == CsvReader::Status::End)
            break;
        ++report_.read;
        if (s == CsvReader::Status::BadRecord) {
            reject(reader_.firstLine(), reader_.faultColumn(), {}, reader_.fault(), reader_.rawText());
            continue;
        }
        if (insert_) {
            insertDirectly(reader_.firstLine());
            continue;
        }
        if (copy_) {
            copyDirectly(reader_.firstLine());
            continue;
        }
        Pending record;
        record.line = reader_.firstLine();
        if (!take(record))
            continue;
        submit(std::move(record));
    }
    report_.cancelled = stop_;
    report_.stoppedAtError = !stop_ && o_.stopAtFirstError && report_.rejected > 0;
    if (copy_)
        flushCopy(true);
    if (insert_) {
        commitLoaded(insertedInTransaction_);
        copiedAny_ = report_.loaded > 0;
    }
    finish();
    if (copiedAny_ && !o_.windowless) // the table's keys and count catch up with the copied records
        table_.refresh();
    if (reader_.failed())
        throw engine::EngineError(QStringLiteral("Cannot read %1: %2").arg(o_.path, reader_.errorString()));
}

// Whether the record just read has the file's field count; it is rejected when not.
bool Importer::widthOk(qint64 line)
{
    const int count = reader_.fieldCount();
    if (count == width_)
        return true;
    const int column = std::min(count, width_);
    reject(line, column, count > width_ ? QString::fromUtf8(reader_.field(column)) : QString(),
           QStringLiteral("%1 fields where the %2 has %3")
               .arg(count)
               .arg(o_.form.header ? QStringLiteral("header") : QStringLiteral("first record"))
               .arg(width_),
           reader_.rawText());
    return false;
}

// Whether field i of the record just read stands for NULL, by the options' rule.
bool Importer::nullField(int i) const
{
    const QByteArrayView v = reader_.field(i);
    const bool quoted = reader_.quoted(i);
    if (!marker_.isEmpty() && !quoted && v == marker_)
        return true;
    if (v.isEmpty())
        return o_.nulls == CsvNulls::EveryEmpty || (o_.nulls == CsvNulls::UnquotedEmpty && !quoted);
    return false;
}

// SQLite: the record just read goes in at once, each text field bound from the reader's bytes;
// the others are checked and typed as the appender does (the same conversions and messages).
void Importer::insertDirectly(qint64 line)
{
    if (!widthOk(line))
        return;
    for (int i = 0; i < width_; ++i) {
        if (nullField(i)) {
            insert_->bindNull(i);
            continue;
        }
        const int type = types_[size_t(i)];
        const QByteArrayView v = reader_.field(i);
        if (engine::isTextType(type)) {
            insert_->bindText(i, v);
            continue;
        }
        switch (plainForm(type, v)) { // stored as the appender stores the converted value
        case Plain::Integer:
            insert_->bindInteger(i, v.toLongLong());
            continue;
        case Plain::True:
        case Plain::False:
            insert_->bindInteger(i, v == "true" ? 1 : 0);
            continue;
        case Plain::Number: // the column's affinity makes it a number, as it does the appender's text
        case Plain::Date:
            insert_->bindText(i, v);
            continue;
        case Plain::No:
            break;
        }
        const QString text = QString::fromUtf8(reader_.field(i));
        try {
            insert_->bindValue(i, type, engine::textToValue(type, text, table_.field(fieldOf_[size_t(i)])->fieldName()));
        } catch (const engine::EngineError &e) {
            reject(line, i, text, reasonOf(e.message()), reader_.rawText());
            return; // the next record binds every column again
        }
    }
    engine::Database &db = *table_.database();
    if (!db.inTransaction())
        db.startTransaction();
    QString error;
    if (insert_->step(error))
        ++insertedInTransaction_;
    else
        reject(line, -1, {}, error, reader_.rawText());
    if (insertedInTransaction_ >= kInsertCommit)
        commitLoaded(insertedInTransaction_);
}

void Importer::commitLoaded(qint64 &pending)
{
    engine::Database &db = *table_.database();
    if (db.inTransaction())
        db.commit(); // a failure rolls back and throws: the import stops, the table is read again
    report_.loaded += pending;
    pending = 0;
}

// The record just read, as the values of its columns; false when it was rejected.
bool Importer::take(Pending &record)
{
    if (!widthOk(record.line))
        return false;
    const int count = reader_.fieldCount();
    record.values.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        if (!nullField(i))
            record.values[size_t(i)] = QString::fromUtf8(reader_.field(i));
    }
    if (postgres_) // kept until the server has the record; on SQLite the reader still holds it
        record.raw = reader_.rawText().toByteArray();
    return true;
}

// Gives the record to the engine; a record it refuses is listed with its column and reason.
void Importer::submit(Pending first)
{
    std::deque<Pending> queue;
    queue.push_back(std::move(first));
    while (!queue.empty()) {
        Pending record = std::move(queue.front());
        queue.pop_front();
        engine::TableAppender &app = *appender_;
        app.begin();
        bool converted = true;
        for (size_t i = 0; i < record.values.size() && converted; ++i) {
            const int field = fieldOf_[i];
            try {
                if (record.values[i])
                    app.setText(field, *record.values[i]);
                else
                    app.clear(field);
            } catch (const engine::EngineError &e) {
                reject(record.line, int(i), record.values[i].value_or(QString()), reasonOf(e.message()), rawOf(record));
                converted = false;
            }
        }
        if (!converted)
            continue;
        record.number = app.added();
        try {
            app.add();
        } catch (const engine::EngineError &e) {
            const qint64 failed = app.failedRecord();
            if (failed < 0 && app.added() == record.number) { // refused before it was sent
                reject(record.line, -1, {}, e.message(), rawOf(record));
                continue;
            }
            if (failed == record.number && kept_.empty()) {
                reject(record.line, -1, {}, e.message(), rawOf(record));
                continue;
            }
            kept_.push_back(std::move(record));
            settle(e);
            // What the server lost after the refused record goes again, in its order.
            while (!kept_.empty()) {
                queue.push_front(std::move(kept_.back()));
                kept_.pop_back();
            }
            continue;
        }
        if (postgres_) {
            kept_.push_back(std::move(record));
            if (kept_.size() > 2048) // far more than a group: the server has the oldest
                kept_.pop_front();
        }
    }
}

// PostgreSQL: the record just read joins the COPY batch. Text goes from the reader's bytes, a
// value already in the form the server is sent as it is, the others through the appender's
// conversion, which lists a value it refuses with its reason.
void Importer::copyDirectly(qint64 line)
{
    if (!widthOk(line))
        return;
    const qsizetype rawAt = copiedBytes_.size();
    const QByteArrayView raw = reader_.rawText();
    copiedBytes_ += raw;
    const size_t fieldsAt = copiedFields_.size();
    // A record the server reads as this reader read it goes as it was read: COPY's CSV has the
    // same rules (an unquoted empty field NULL, "" the empty text, "" a quote inside quotes), so
    // only a value the conversion would change, or \. alone (COPY's end of data), is written anew.
    bool asRead = rawForm_ && raw != "\\.";
    for (int i = 0; i < width_; ++i) {
        if (nullField(i)) {
            copiedFields_.push_back({0, -1});
            continue;
        }
        const QByteArrayView v = reader_.field(i);
        // A field is part of the record's text unless it held "": only then are its bytes kept apart.
        const auto address = [](const char *p) { return reinterpret_cast<quintptr>(p); };
        if (address(v.data()) >= address(raw.data()) && address(v.data() + v.size()) <= address(raw.data() + raw.size())) {
            copiedFields_.push_back({rawAt + (v.data() - raw.data()), v.size()});
        } else {
            copiedFields_.push_back({copiedBytes_.size(), v.size()});
            copiedBytes_ += v;
        }
        const int type = types_[size_t(i)];
        if (asRead && !engine::isTextType(type) && plainForm(type, v) == Plain::No)
            asRead = false;
    }
    if (!asRead) {
        copyLine_.truncate(0);
        for (int i = 0; i < width_; ++i) {
            if (i > 0)
                copyLine_ += ',';
            if (copiedFields_[fieldsAt + size_t(i)].size < 0)
                continue;
            const QByteArrayView v = reader_.field(i);
            const int type = types_[size_t(i)];
            if (engine::isTextType(type)) {
                PgCopy::appendQuoted(copyLine_, v);
            } else if (const Plain plain = plainForm(type, v); plain != Plain::No) {
                copyLine_ += plain == Plain::True ? QByteArrayView("t") : plain == Plain::False ? QByteArrayView("f") : v;
            } else {
                const QString text = QString::fromUtf8(v);
                try {
                    PgCopy::format(copyLine_, engine::textToValue(type, text, table_.field(fieldOf_[size_t(i)])->fieldName()));
                } catch (const engine::EngineError &e) {
                    copiedBytes_.truncate(rawAt);
                    copiedFields_.resize(fieldsAt);
                    reject(line, i, text, reasonOf(e.message()), raw);
                    return;
                }
            }
        }
    }
    // The COPY streams as the batch grows: its transaction is open before the first byte goes.
    if (engine::Database &db = *table_.database(); !db.inTransaction())
        db.startTransaction();
    if (asRead) {
        copy_->addRecord(raw);
        copied_.push_back({line, rawAt, raw.size(), fieldsAt, rawAt, raw.size(), true});
    } else {
        copy_->addRecord(copyLine_);
        copied_.push_back({line, rawAt, raw.size(), fieldsAt, copiedLines_.size(), copyLine_.size(), false});
        copiedLines_ += copyLine_;
    }
    const size_t batch = o_.batchSize > 0 ? size_t(o_.batchSize) : o_.windowless ? kCopyRecordsAlone : kCopyRecords;
    if (copied_.size() >= batch || copiedBytes_.size() + copiedLines_.size() >= kCopyBytes)
        flushCopy();
}

// Record k of the batch, as the appender takes it.
Pending Importer::copiedRecord(size_t k) const
{
    const Copied &c = copied_[k];
    Pending p;
    p.line = c.line;
    p.raw = copiedBytes_.mid(c.raw, c.rawSize);
    p.values.resize(size_t(width_));
    for (int i = 0; i < width_; ++i) {
        const CopiedField &f = copiedFields_[c.fields + size_t(i)];
        if (f.size >= 0)
            p.values[size_t(i)] = QString::fromUtf8(copiedBytes_.constData() + f.at, f.size);
    }
    return p;
}

// Sends the batch. A record the server refuses (a duplicate key, a constraint) fails the whole
// COPY: then the batch goes again record by record, so that the refused ones are listed and the
// others stored.
void Importer::flushCopy(bool last)
{
    if (copied_.empty()) {
        if (last)
            commitLoaded(copiedInTransaction_);
        return;
    }
    // Several batches to a transaction: a commit waits for the disk.
    engine::Database &db = *table_.database();
    if (!db.inTransaction())
        db.startTransaction();
    QString error;
    const bool sent = copy_->send(error);
    if (sent) {
        copiedInTransaction_ += qint64(copied_.size());
        copiedAny_ = true;
    } else {
        stopIfConnectionLost(error);
        resend(0, copied_.size());
    }
    copied_.clear();
    copiedBytes_.truncate(0);
    copiedFields_.clear();
    copiedLines_.truncate(0);
    if (!sent || copiedInTransaction_ >= kCopyCommit || last)
        commitLoaded(copiedInTransaction_);
}

// Records [from, to) of a batch the server refused go again in two halves, each a COPY of its
// own, down to groups small enough to go record by record through the appender (under its
// savepoints, in this transaction), which lists the refused records; the others are stored.
// A batch the server never answered is no record's fault: going again record by record would
// only fail once a record. The commit then fails with the connection's own reason.
void Importer::stopIfConnectionLost(const QString &error)
{
    if (!copy_->connectionLost())
        return;
    commitLoaded(copiedInTransaction_);
    throw engine::EngineError(error);
}

void Importer::resend(size_t from, size_t to)
{
    if (to - from <= kRecordByRecord) {
        for (size_t k = from; k < to; ++k)
            submit(copiedRecord(k));
        finish();
        return;
    }
    const size_t middle = from + (to - from) / 2;
    for (const auto &[a, b] : {std::pair{from, middle}, std::pair{middle, to}}) {
        for (size_t k = a; k < b; ++k)
            copy_->addRecord(QByteArrayView((copied_[k].asRead ? copiedBytes_ : copiedLines_).constData() + copied_[k].copyLine,
                                            copied_[k].copyLineSize));
        QString error;
        if (copy_->send(error)) {
            copiedInTransaction_ += qint64(b - a);
            copiedAny_ = true;
        } else {
            stopIfConnectionLost(error);
            resend(a, b);
        }
    }
}

// A record refused some records after it was added (PostgreSQL): it is rejected; those kept
// after it stay in kept_ for the caller to add again. An error of no record ends the import.
void Importer::settle(const engine::EngineError &e)
{
    const qint64 failed = appender_->failedRecord();
    while (!kept_.empty() && kept_.front().number < failed)
        kept_.pop_front();
    if (failed < 0 || kept_.empty() || kept_.front().number != failed)
        throw e;
    const Pending &refused = kept_.front();
    reject(refused.line, -1, {}, e.message(), refused.raw);
    kept_.pop_front();
}

// Commits the last batch; a record refused at this point is listed and the ones after it go again.
void Importer::finish()
{
    for (;;) {
        const qint64 added = appender_->added();
        try {
            appender_->finish();
            report_.loaded += added;
            kept_.clear();
            return;
        } catch (const engine::EngineError &e) {
            settle(e);
            report_.loaded += appender_->added();
            // finish() ended a batch: the count starts again from the records sent again.
            std::deque<Pending> again;
            again.swap(kept_);
            appender_.emplace(table_, o_.batchSize);
            for (Pending &p : again)
                submit(std::move(p));
        }
    }
}

} // namespace

QString CsvRejection::text() const
{
    QString where = QStringLiteral("line %1").arg(line);
    if (!column.isEmpty())
        where += QStringLiteral(", column %1").arg(column);
    if (!value.isEmpty())
        where += QStringLiteral(", value \"%1\"").arg(shown(value));
    return where + QStringLiteral(": ") + reason;
}

QString CsvImportReport::summary() const
{
    QString line = QStringLiteral("%1 records read, %2 loaded, %3 rejected").arg(read).arg(loaded).arg(rejected);
    // A failure ends a transaction without its records: they are neither.
    if (const qint64 lost = read - loaded - rejected; lost > 0)
        line += QStringLiteral(", %1 not stored").arg(lost);
    return line;
}

CommandResult importCsv(CommandSite &site, const CsvImportOptions &options, CsvImportReport &report)
{
    report = CsvImportReport();
    return runCommand(site, [&](CommandFrame &frame) { return Importer(site, frame, options, report).run(); });
}

} // namespace pelldrake::maintenance
