#include "engine/display_text.h"

#include <QStringView>

namespace pelldrake::engine {

QString cellText(const QString &text, bool firstLineOnly)
{
    QStringView shown = QStringView(text).left(kDisplayChars);
    if (firstLineOnly) {
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (shown.at(i) == QLatin1Char('\n') || shown.at(i) == QLatin1Char('\r')) {
                shown = shown.left(i);
                break;
            }
        }
    }
    if (shown.size() == text.size())
        return text; // shares the value, no copy
    if (shown.size() == kDisplayChars && shown.back().isHighSurrogate())
        shown.chop(1); // never half a character
    return shown.toString();
}

} // namespace pelldrake::engine
