#pragma once

#include <QString>

namespace pelldrake::engine {

// Wider than any screen. A view never paints more of a value, and eliding or
// measuring a longer text (a value of megabytes) would stall every repaint.
inline constexpr qsizetype kDisplayChars = 4000;

// What a view paints of a text: at most kDisplayChars characters, never half
// a character, and with firstLineOnly (a memo) only its first line, whatever
// its line ends. A text already short enough is returned shared, not copied.
// Roles that copy or edit the value take the whole text, not this.
QString cellText(const QString &text, bool firstLineOnly);

} // namespace pelldrake::engine
