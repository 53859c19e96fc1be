#pragma once
// CSV import and export on a site's table (command_site.h), in the command frame.
#include "maintenance/csv_detect.h"
#include "maintenance/csv_format.h"
#include "maintenance/maintenance.h"

#include <QList>
#include <QString>

namespace pelldrake::maintenance {

class CommandSite;

struct CsvExportOptions {
    char delimiter = ',';
    CsvQuoting quoting = CsvQuoting::Minimal;
    bool header = true;
    bool byteOrderMark = false;
    bool crlf = true;
    // The tab-delimited export's form: tab-separated, values quoted only when they hold a tab or
    // a line break or begin with a quote, NULL and '' both empty.
    bool tabFormat = false;
    // No window shows the table (the command line): the progress needs no count of the table,
    // and the cursor is not moved back to the first record at the end.
    bool windowless = false;
};

// Writes the records the site shows (its filter and order) to `path`.
CommandResult exportCsv(CommandSite &site, const QString &path, const CsvExportOptions &options);

// What an empty field or a marker stands for.
enum class CsvNulls {
    UnquotedEmpty, // an unquoted empty field is NULL, "" is ''
    EveryEmpty,    // every empty field is NULL
    NoEmpty        // every empty field is '' (NULL only through the marker)
};

struct CsvImportOptions {
    QString path;
    CsvDetection form;            // encoding, delimiter, quote, header
    bool matchByName = true;      // with a header: its names pick the columns (case-insensitive)
    CsvNulls nulls = CsvNulls::UnquotedEmpty;
    QString nullMarker;           // unquoted, it is NULL; quoted, it is its text
    bool stopAtFirstError = false;
    QString rejectsPath;          // the rejected records, as read, one after another
    int batchSize = 0;            // records per transaction; 0: the engine's choice
    // No window shows the table (the command line): on PostgreSQL the COPY then streams on
    // across the progress reports instead of ending at each so that the window may read, and the
    // table is not read again at the end for a grid to show.
    bool windowless = false;
};

struct CsvRejection {
    qint64 line = 0;  // the record's first line, the header's counted
    QString column;   // the column's name, or its position
    QString value;
    QString reason;
    QString text() const; // line N, column C, value "V": reason
};

struct CsvImportReport {
    qint64 read = 0; // records: read = loaded + rejected
    qint64 loaded = 0;
    qint64 rejected = 0;
    QList<CsvRejection> rejections; // the first kKeptRejections
    bool stoppedAtError = false;
    bool cancelled = false;
    QString failure; // an error that ended the import (a lost connection, a failed commit)
    static constexpr int kKeptRejections = 100000;
    // The closing line: "N records read, N loaded, N rejected".
    QString summary() const;
};

// Appends the records of the CSV file to the site's table; the report says what became of each.
// A record the table refuses is listed and the import goes on (or stops, by option); batches are
// committed as they fill, so a failure or a stop keeps what was committed.
// BadInput, with nothing written: the file cannot be read, the header names no column of the
// table, the table is read-only.
CommandResult importCsv(CommandSite &site, const CsvImportOptions &options, CsvImportReport &report);

} // namespace pelldrake::maintenance
