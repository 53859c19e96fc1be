#include "browser/filter_expression.h"

namespace pelldrake {

QString prefixFilterText(const QString &fieldName, const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return fieldName + QLatin1String(" = '") + quoted + QLatin1String("*'");
}

} // namespace pelldrake
