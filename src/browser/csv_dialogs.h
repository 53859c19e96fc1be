#pragma once
// The CSV entries of a pane's Maintenance menu and their dialogs: "CSV Export..." asks where and
// how, "CSV Import..." shows what it detected in the file (encoding, delimiter, header), a
// preview of the first records and of the CREATE TABLE a new table gets, and the NULL rule.
#include "maintenance/csv.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QString>

#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTableWidget;

namespace pelldrake::maintenance {
class CommandSite;
} // namespace pelldrake::maintenance

namespace pelldrake {

// The entries' commands: the dialog on the site's table, then the command.
maintenance::CommandResult csvExportEntry(maintenance::CommandSite &site);
maintenance::CommandResult csvImportEntry(maintenance::CommandSite &site);

class CsvExportDialog : public QDialog {
public:
    CsvExportDialog(const QString &tableName, QWidget *parent = nullptr);
    QString path() const;
    maintenance::CsvExportOptions options() const;

private:
    QLineEdit *path_;
    QComboBox *delimiter_;
    QComboBox *quoting_;
    QCheckBox *header_;
    QCheckBox *bom_;
    QCheckBox *crlf_;
};

class CsvImportDialog : public QDialog {
public:
    // `tableName`: the pane's open table, the one an import into an existing table goes to.
    CsvImportDialog(const QString &tableName, engine::Dialect dialect, QWidget *parent = nullptr);
    ~CsvImportDialog() override;

    // Reads the file's form and fills the choices and the previews.
    void setFile(const QString &path);
    maintenance::CsvImportOptions options() const;
    bool newTable() const;
    QString newTableName() const;
    // The CREATE TABLE for a new table, from every value of the file; empty when it cannot be read.
    QString createSql() const;
    QString problem() const { return problem_; } // why the file cannot be imported
    // Whether the column types are still being read from the file (in the background).
    bool readingTypes() const { return typeRun_ != nullptr; }

    void accept() override; // waits for the column types when a new table is to be made

private:
    // One reading of the column types: the thread reads, the dialog shows how far it got.
    struct TypeRun {
        std::atomic<bool> stop{false};
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
    };
    struct TypeResult {
        bool ok = false;
        maintenance::CsvLayout layout;
        QString error;
    };
    void refresh(); // the previews after a choice changed
    void readTypes(const QString &path, const maintenance::CsvDetection &d);
    void stopReadingTypes();
    void showTypes(const TypeResult &result, const maintenance::CsvDetection &d);
    maintenance::CsvDetection form() const;

    engine::Dialect dialect_;
    maintenance::CsvDetection detected_;
    QLineEdit *path_;
    QComboBox *encoding_;
    QComboBox *delimiter_;
    QCheckBox *header_;
    QRadioButton *existing_;
    QRadioButton *create_;
    QLineEdit *newName_;
    QComboBox *nulls_;
    QLineEdit *marker_;
    QCheckBox *stopAtFirst_;
    QLineEdit *rejects_;
    QTableWidget *preview_;
    QPlainTextEdit *createText_;
    QLabel *status_;
    maintenance::CsvLayout layout_; // empty names: the file's columns could not be read
    QString problem_;
    std::shared_ptr<TypeRun> typeRun_; // set while a reading runs
    QFutureWatcher<TypeResult> *typeWatcher_ = nullptr;
    bool acceptWhenRead_ = false;
};

} // namespace pelldrake
