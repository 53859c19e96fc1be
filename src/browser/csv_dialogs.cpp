// The CSV entries of the Maintenance menu and their dialogs: see csv_dialogs.h.
#include "browser/csv_dialogs.h"

#include "maintenance/command_site.h"
#include "maintenance/csv_format.h"

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/query.h"
#include "engine/session.h"
#include "engine/table.h"

#include <QApplication>
#include <QtConcurrent/QtConcurrentRun>
#include <QTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pelldrake {

namespace {

using namespace maintenance;

constexpr int kPreviewRecords = 20;

struct Delimiter {
    const char *caption;
    char c;
};
constexpr Delimiter kDelimiters[] = {{"Comma ,", ','}, {"Semicolon ;", ';'}, {"Tab", '\t'}, {"Bar |", '|'}};

QComboBox *delimiterChooser(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    for (const Delimiter &d : kDelimiters)
        box->addItem(QString::fromLatin1(d.caption), QVariant(int(d.c)));
    return box;
}

QPushButton *browseButton(QWidget *parent, QLineEdit *edit, bool save)
{
    auto *button = new QPushButton(QStringLiteral("Browse..."), parent);
    QObject::connect(button, &QPushButton::clicked, parent, [parent, edit, save] {
        const QString chosen = save ? QFileDialog::getSaveFileName(parent, QStringLiteral("CSV Export"), edit->text(),
                                                                   QStringLiteral("CSV files (*.csv);;All files (*)"))
                                    : QFileDialog::getOpenFileName(parent, QStringLiteral("CSV Import"), edit->text(),
                                                                   QStringLiteral("CSV and text files (*.csv *.txt *.tsv);;All files (*)"));
        if (!chosen.isEmpty()) {
            edit->setText(QDir::toNativeSeparators(chosen));
            emit edit->editingFinished();
        }
    });
    return button;
}

QWidget *row(QWidget *parent, QWidget *a, QWidget *b)
{
    auto *w = new QWidget(parent);
    auto *l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(a, 1);
    l->addWidget(b);
    return w;
}

// The pane's site with another table: a new table made for the import, so the pane's own stays
// as it is while the import runs and afterwards.
class OtherTableSite : public CommandSite {
public:
    OtherTableSite(CommandSite &pane, engine::Table &table) : pane_(pane), table_(table) {}
    engine::Table &table() override { return table_; }
    QString aliasName() const override { return pane_.aliasName(); }
    QString selectedTableName() const override { return table_.tableName(); }
    QString chosenFieldName() const override { return {}; }
    void clearChosenField() override {}
    void showMessage(const QString &text) override { pane_.showMessage(text); }
    void showError(const QString &text) override { pane_.showError(text); }
    void showNotice(const QString &text) override { pane_.showNotice(text); }
    bool askYesNo(const QString &text, const QString &caption) override { return pane_.askYesNo(text, caption); }
    QString inputBox(const QString &c, const QString &p, const QString &d) override { return pane_.inputBox(c, p, d); }
    void clearFilterBox() override {}
    void postPendingEdit() override {}
    void showRecordCounts() override { pane_.showRecordCounts(); }
    void showRecordCount(std::optional<qint64>) noexcept override {}
    void showCurrentRecord(qint64) override {}
    void lockPaneControls(bool selection) override { pane_.lockPaneControls(selection); }
    void lockCommandControls() override { pane_.lockCommandControls(); }
    void unlockControls() noexcept override { pane_.unlockControls(); }
    void processEvents() override { pane_.processEvents(); }
    bool reportProgress(qint64 done, qint64 total, ProgressUnit unit) override
    {
        return pane_.reportProgress(done, total, unit);
    }

private:
    CommandSite &pane_;
    engine::Table &table_;
};

bool tableOpen(CommandSite &site)
{
    if (site.table().active() && site.table().database())
        return true;
    site.showMessage(QStringLiteral("Please select Table."));
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CsvExportDialog::CsvExportDialog(const QString &tableName, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CsvExportDialog"));
    setWindowTitle(QStringLiteral("CSV Export"));
    QString name = tableName;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    path_ = new QLineEdit(QDir::toNativeSeparators(QDir::current().filePath(name + QStringLiteral(".csv"))), this);
    path_->setObjectName(QStringLiteral("CsvExportPath"));
    delimiter_ = delimiterChooser(this);
    quoting_ = new QComboBox(this);
    quoting_->addItem(QStringLiteral("Only fields that need it"), int(CsvQuoting::Minimal));
    quoting_->addItem(QStringLiteral("Every field (not NULL)"), int(CsvQuoting::All));
    quoting_->addItem(QStringLiteral("Every text field"), int(CsvQuoting::Text));
    header_ = new QCheckBox(QStringLiteral("Header line of field names"), this);
    header_->setChecked(true);
    bom_ = new QCheckBox(QStringLiteral("Byte-order mark (for spreadsheet programs)"), this);
    crlf_ = new QCheckBox(QStringLiteral("Lines end in CR LF"), this);
    crlf_->setChecked(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("File:"), row(this, path_, browseButton(this, path_, true)));
    form->addRow(QStringLiteral("Delimiter:"), delimiter_);
    form->addRow(QStringLiteral("Quote:"), quoting_);
    form->addRow(QString(), header_);
    form->addRow(QString(), bom_);
    form->addRow(QString(), crlf_);
    auto *note = new QLabel(QStringLiteral("The records the pane shows, in its order. NULL is written as an empty "
                                           "field, an empty text as \"\"."),
                            this);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());
}

QString CsvExportDialog::path() const
{
    return path_->text().trimmed();
}

CsvExportOptions CsvExportDialog::options() const
{
    CsvExportOptions o;
    o.delimiter = char(delimiter_->currentData().toInt());
    o.quoting = CsvQuoting(quoting_->currentData().toInt());
    o.header = header_->isChecked();
    o.byteOrderMark = bom_->isChecked();
    o.crlf = crlf_->isChecked();
    return o;
}

// ---------------------------------------------------------------------------------------------

CsvImportDialog::CsvImportDialog(const QString &tableName, engine::Dialect dialect, QWidget *parent)
    : QDialog(parent), dialect_(dialect)
{
    setObjectName(QStringLiteral("CsvImportDialog"));
    setWindowTitle(QStringLiteral("CSV Import"));
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("CsvImportPath"));
    encoding_ = new QComboBox(this);
    encoding_->addItems(encodingNames());
    delimiter_ = delimiterChooser(this);
    delimiter_->setObjectName(QStringLiteral("CsvImportDelimiter"));
    header_ = new QCheckBox(QStringLiteral("The first line names the columns"), this);
    existing_ = new QRadioButton(QStringLiteral("Append to the table %1").arg(tableName), this);
    create_ = new QRadioButton(QStringLiteral("Create a new table:"), this);
    existing_->setEnabled(!tableName.isEmpty());
    (tableName.isEmpty() ? create_ : existing_)->setChecked(true);
    newName_ = new QLineEdit(this);
    nulls_ = new QComboBox(this);
    nulls_->addItem(QStringLiteral("An unquoted empty field is NULL, \"\" is empty text"), int(CsvNulls::UnquotedEmpty));
    nulls_->addItem(QStringLiteral("Every empty field is NULL"), int(CsvNulls::EveryEmpty));
    nulls_->addItem(QStringLiteral("Every empty field is empty text"), int(CsvNulls::NoEmpty));
    marker_ = new QLineEdit(this);
    marker_->setPlaceholderText(QStringLiteral("NULL marker, e.g. \\N (unquoted)"));
    stopAtFirst_ = new QCheckBox(QStringLiteral("Stop at the first rejected record"), this);
    rejects_ = new QLineEdit(this);
    rejects_->setPlaceholderText(QStringLiteral("File for the rejected records (optional)"));
    preview_ = new QTableWidget(this);
    preview_->setObjectName(QStringLiteral("CsvImportPreview"));
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview_->horizontalHeader()->setDefaultSectionSize(110);
    createText_ = new QPlainTextEdit(this);
    createText_->setObjectName(QStringLiteral("CsvImportCreateTable"));
    createText_->setReadOnly(true);
    createText_->setMaximumHeight(70);
    status_ = new QLabel(this);
    status_->setWordWrap(true);

    auto *fileForm = new QFormLayout;
    fileForm->addRow(QStringLiteral("File:"), row(this, path_, browseButton(this, path_, false)));
    auto *formRow = new QHBoxLayout;
    formRow->addWidget(new QLabel(QStringLiteral("Encoding:"), this));
    formRow->addWidget(encoding_);
    formRow->addWidget(new QLabel(QStringLiteral("Delimiter:"), this));
    formRow->addWidget(delimiter_);
    formRow->addWidget(header_);
    formRow->addStretch();
    fileForm->addRow(QStringLiteral("Detected:"), formRow);
    auto *target = new QGroupBox(QStringLiteral("Into"), this);
    auto *targetLayout = new QFormLayout(target);
    targetLayout->addRow(existing_);
    targetLayout->addRow(create_, newName_);
    auto *nulls = new QGroupBox(QStringLiteral("Empty fields and errors"), this);
    auto *nullsLayout = new QFormLayout(nulls);
    nullsLayout->addRow(QStringLiteral("NULL:"), nulls_);
    nullsLayout->addRow(QString(), marker_);
    nullsLayout->addRow(QString(), stopAtFirst_);
    nullsLayout->addRow(QStringLiteral("Rejected:"), row(this, rejects_, browseButton(this, rejects_, true)));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Import"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fileForm);
    layout->addWidget(new QLabel(QStringLiteral("First records:"), this));
    layout->addWidget(preview_, 1);
    layout->addWidget(new QLabel(QStringLiteral("A new table is created as:"), this));
    layout->addWidget(createText_);
    auto *options = new QHBoxLayout;
    options->addWidget(target, 1);
    options->addWidget(nulls, 1);
    layout->addLayout(options);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(760, 600);

    connect(path_, &QLineEdit::editingFinished, this, [this] { setFile(path_->text().trimmed()); });
    for (QComboBox *box : {encoding_, delimiter_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(header_, &QCheckBox::toggled, this, [this] { refresh(); });
    connect(create_, &QRadioButton::toggled, newName_, &QWidget::setEnabled);
    connect(newName_, &QLineEdit::textChanged, this, [this] {
        if (!layout_.names.isEmpty())
            createText_->setPlainText(createSql());
    });
    newName_->setEnabled(create_->isChecked());
}

void CsvImportDialog::setFile(const QString &path)
{
    path_->setText(path);
    problem_.clear();
    if (!detectCsv(path, detected_, problem_)) {
        status_->setText(problem_);
        preview_->clear();
        preview_->setRowCount(0);
        createText_->clear();
        layout_ = CsvLayout();
        return;
    }
    const QSignalBlocker b1(encoding_), b2(delimiter_), b3(header_);
    encoding_->setCurrentText(encodingName(detected_.encoding));
    delimiter_->setCurrentIndex(delimiter_->findData(int(detected_.dialect.delimiter)));
    header_->setChecked(detected_.header);
    newName_->setText(QFileInfo(path).completeBaseName());
    refresh();
}

CsvDetection CsvImportDialog::form() const
{
    CsvDetection d = detected_;
    encodingFromName(encoding_->currentText(), d.encoding);
    d.dialect.delimiter = char(delimiter_->currentData().toInt());
    d.header = header_->isChecked();
    return d;
}

void CsvImportDialog::refresh()
{
    const QString path = path_->text().trimmed();
    if (path.isEmpty() || !problem_.isEmpty())
        return;
    const CsvDetection d = form();
    CsvReader reader(path, d.dialect, d.encoding);
    preview_->clear();
    preview_->setRowCount(0);
    if (!reader.open())
        return;
    int rows = 0;
    for (CsvReader::Status s = reader.next(); s != CsvReader::Status::End && rows <= kPreviewRecords; s = reader.next()) {
        if (s == CsvReader::Status::BadRecord)
            continue;
        if (preview_->columnCount() < reader.fieldCount())
            preview_->setColumnCount(reader.fieldCount());
        if (rows == 0 && d.header) {
            QStringList names;
            for (int i = 0; i < reader.fieldCount(); ++i)
                names << QString::fromUtf8(reader.field(i));
            preview_->setHorizontalHeaderLabels(names);
            ++rows;
            continue;
        }
        const int r = preview_->rowCount();
        preview_->insertRow(r);
        for (int i = 0; i < reader.fieldCount(); ++i) {
            const bool null = reader.field(i).isEmpty() && !reader.quoted(i);
            auto *item = new QTableWidgetItem(null ? QStringLiteral("(NULL)") : QString::fromUtf8(reader.field(i)));
            if (null)
                item->setForeground(palette().brush(QPalette::PlaceholderText));
            preview_->setItem(r, i, item);
        }
        ++rows;
    }
    readTypes(path, d);
}

// The types come from every value, as the import will create them: a whole
// pass over the file, so it runs in the background and a changed choice
// starts it again.
void CsvImportDialog::readTypes(const QString &path, const CsvDetection &d)
{
    stopReadingTypes();
    layout_ = CsvLayout();
    createText_->setPlainText(QStringLiteral("Reading every value of the file for the column types..."));
    status_->setText(QStringLiteral("Reading the column types..."));
    auto run = std::make_shared<TypeRun>();
    typeRun_ = run;
    typeWatcher_ = new QFutureWatcher<TypeResult>(this);
    auto *progress = new QTimer(typeWatcher_);
    connect(progress, &QTimer::timeout, this, [this, run] {
        if (run->total > 0)
            status_->setText(QStringLiteral("Reading the column types... %1%").arg(run->done * 100 / run->total));
    });
    progress->start(100);
    connect(typeWatcher_, &QFutureWatcher<TypeResult>::finished, this, [this, run, d] {
        if (run != typeRun_)
            return; // a reading that was stopped for a newer one
        const TypeResult result = typeWatcher_->result();
        typeWatcher_->deleteLater();
        typeWatcher_ = nullptr;
        typeRun_.reset();
        showTypes(result, d);
    });
    const engine::Dialect dialect = dialect_;
    typeWatcher_->setFuture(QtConcurrent::run([path, d, dialect, run] {
        TypeResult r;
        r.ok = inferLayout(path, d, dialect, r.layout, r.error, [run](qint64 done, qint64 total) {
            run->done = done;
            run->total = total;
            return !run->stop;
        });
        return r;
    }));
}

void CsvImportDialog::stopReadingTypes()
{
    if (!typeWatcher_)
        return;
    typeRun_->stop = true;
    typeWatcher_->waitForFinished(); // stops at its next progress report
    delete typeWatcher_;
    typeWatcher_ = nullptr;
    typeRun_.reset();
    acceptWhenRead_ = false;
}

void CsvImportDialog::showTypes(const TypeResult &result, const CsvDetection &d)
{
    layout_ = result.ok ? result.layout : CsvLayout();
    createText_->setPlainText(result.ok ? createSql() : result.error);
    status_->setText(result.ok ? QStringLiteral("%1, %2 records").arg(encodingName(d.encoding)).arg(layout_.records)
                               : result.error);
    if (acceptWhenRead_) {
        acceptWhenRead_ = false;
        accept();
    }
}

void CsvImportDialog::accept()
{
    // A new table needs its column types: the import starts once they are read.
    if (typeRun_ && create_->isChecked()) {
        acceptWhenRead_ = true;
        status_->setText(status_->text() + QStringLiteral(" The import starts when they are read."));
        return;
    }
    QDialog::accept();
}

CsvImportDialog::~CsvImportDialog()
{
    stopReadingTypes();
}

QString CsvImportDialog::createSql() const
{
    if (layout_.names.isEmpty() || newTableName().isEmpty())
        return {};
    return createTableSql(newTableName(), layout_.names, layout_.types);
}

CsvImportOptions CsvImportDialog::options() const
{
    CsvImportOptions o;
    o.path = path_->text().trimmed();
    o.form = form();
    o.nulls = CsvNulls(nulls_->currentData().toInt());
    o.nullMarker = marker_->text();
    o.stopAtFirstError = stopAtFirst_->isChecked();
    o.rejectsPath = rejects_->text().trimmed();
    return o;
}

bool CsvImportDialog::newTable() const
{
    return create_->isChecked();
}

QString CsvImportDialog::newTableName() const
{
    return newName_->text().trimmed();
}

// ---------------------------------------------------------------------------------------------

CommandResult csvExportEntry(CommandSite &site)
{
    if (!tableOpen(site))
        return CommandResult::BadInput;
    CsvExportDialog dialog(site.table().tableName(), QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted || dialog.path().isEmpty())
        return CommandResult::Declined;
    return exportCsv(site, dialog.path(), dialog.options());
}

CommandResult csvImportEntry(CommandSite &site)
{
    if (!tableOpen(site))
        return CommandResult::BadInput;
    engine::Table &paneTable = site.table();
    engine::Database &database = *paneTable.database();
    CsvImportDialog dialog(paneTable.tableName(),
                           database.isPostgres() ? engine::Dialect::Postgres : engine::Dialect::Sqlite,
                           QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return CommandResult::Declined;
    if (!dialog.problem().isEmpty()) {
        site.showError(dialog.problem());
        return CommandResult::BadInput;
    }
    CsvImportReport report;
    if (!dialog.newTable())
        return importCsv(site, dialog.options(), report);

    // A new table beside the pane's: created, then filled through a table of its own.
    const QString name = dialog.newTableName();
    if (name.isEmpty() || dialog.createSql().isEmpty()) {
        site.showError(QStringLiteral("Give the new table a name."));
        return CommandResult::BadInput;
    }
    try {
        engine::Query create(database.session());
        create.setDatabaseName(database.databaseName());
        create.setSql(dialog.createSql());
        create.execSql();
        engine::Table table(database.session());
        table.setDatabaseName(database.databaseName());
        table.setTableName(name);
        table.open();
        OtherTableSite other(site, table);
        return importCsv(other, dialog.options(), report);
    } catch (const engine::EngineError &e) {
        site.showError(e.message());
        return CommandResult::Failed;
    }
}

} // namespace pelldrake
