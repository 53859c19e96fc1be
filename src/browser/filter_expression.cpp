#include "browser/filter_expression.h"

#include <QRegularExpression>
#include <QStringList>

namespace pelldrake {
namespace {

// A field name the filter parser reads as one plain name; anything else (a
// blank, a leading digit, a word of the expression syntax) is quoted.
bool isPlainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[\\p{L}_$][\\p{L}\\p{N}_$]*$"));
    static const QStringList words{QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT"),
                                   QStringLiteral("IS"), QStringLiteral("NULL")};
    return plain.match(name).hasMatch() && !words.contains(name, Qt::CaseInsensitive);
}

} // namespace

QString prefixFilterText(const QString &fieldName, const QString &value)
{
    QString field = fieldName;
    if (!isPlainName(field)) {
        field.replace(QLatin1Char('"'), QLatin1String("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return field + QLatin1String(" = '") + quoted + QLatin1String("*'");
}

} // namespace pelldrake
