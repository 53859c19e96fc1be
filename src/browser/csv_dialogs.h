#pragma once
// The CSV entries of a pane's Maintenance menu and their dialogs: "CSV Export..." asks where and
// how, "CSV Import..." shows what it detected in the file (encoding, delimiter, header), a
// preview of the first records and of the CREATE TABLE a new table gets, and the NULL rule.
#include "maintenance/csv.h"

#include <QDialog>
#include <QString>

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

    // Reads the file's form and fills the choices and the previews.
    void setFile(const QString &path);
    maintenance::CsvImportOptions options() const;
    bool newTable() const;
    QString newTableName() const;
    // The CREATE TABLE for a new table, from every value of the file; empty when it cannot be read.
    QString createSql() const;
    QString problem() const { return problem_; } // why the file cannot be imported

private:
    void refresh(); // the previews after a choice changed
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
};

} // namespace pelldrake
