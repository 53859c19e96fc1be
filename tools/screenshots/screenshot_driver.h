#pragma once

#include <QSize>
#include <QString>

#include <functional>

namespace pelldrake {
struct Pane;
class TPelldrakeCDSForm;
} // namespace pelldrake

namespace pelldrake::test {

// The frame of the documentation screenshot programs: the application, the
// default session with its demo alias and login dialog, one main window
// (resized to `size` when given) shown and then arranged by `arrange` through
// the window's own operations, grabbed into the PNG named by argv[1].
// Returns the program's exit code; run it with a throw-away HOME.
int runWindowScreenshot(int argc, char **argv, QSize size,
                        const std::function<bool(TPelldrakeCDSForm &)> &arrange);

// Chooses the demo alias in the pane's chooser and clicks a table in its list,
// as a user does: the named table when listed, else the first. False, with a
// line on stderr, when no table opens.
bool openDemoTable(Pane &pane, const QString &preferredTable = QString());

} // namespace pelldrake::test
