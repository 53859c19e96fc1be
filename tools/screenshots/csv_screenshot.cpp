// Not a test: renders the CSV Import and CSV Export dialogs on a small awkward file (semicolons,
// Windows-1252, a quoted line break, NULL and empty text, a leading zero) into the folder given
// as argv[1]. Run it offscreen with a throw-away HOME.
#include "browser/csv_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace pelldrake;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("prices.csv"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("Code;Name;Price;Since;Note\r\n"
            "0805;Caf\xE9 cr\xE8me;3.50;2024-02-29;\"two\r\nlines\"\r\n"
            "0017;Th\xE9 vert;2.75;2023-11-01;\r\n"
            "1200;Eau;1.00;2022-01-15;\"\"\r\n"
            "0042;\"Jus; orange\";4.20;2021-06-30;\"says \"\"fresh\"\"\"\r\n");
    f.close();

    int failures = 0;
    CsvImportDialog import(QStringLiteral("prices"), engine::Dialect::Sqlite);
    import.setFile(file);
    import.show();
    if (!QTest::qWaitFor([&] { return !import.readingTypes(); }, 10000))
        ++failures;
    app.processEvents();
    if (!import.grab().save(out.filePath(QStringLiteral("csv-import.png"))))
        ++failures;
    CsvExportDialog exportDialog(QStringLiteral("prices"));
    exportDialog.show();
    app.processEvents();
    if (!exportDialog.grab().save(out.filePath(QStringLiteral("csv-export.png"))))
        ++failures;
    return failures;
}
