#include "browser/field_view_command.h"

#include "widgets/fieldview.h"
#include "browser/mainwindow.h"

#include <QGroupBox>

#include <algorithm>

namespace pelldrake {

void showFieldView(TPelldrakeCDSForm &form, Pane &pane)
{
    TlynEDIDBFieldView *view = pane.fieldView;
    // A child of the main window, so that it is drawn above the pane's controls.
    if (view->parentWidget() != &form)
        view->setParent(&form);
    const QPoint frame = pane.frame->mapTo(&form, QPoint(0, 0));
    const int left = frame.x() + 5;
    const int top = frame.y() + 5;
    int height = pane.frame->height() + pane.rightArea->height() - 10;
    // The sum reaches below the pane; below the window the list's last rows
    // and its scroll bar's end could not be reached.
    height = std::max(0, std::min(height, form.height() - top - 5));
    view->LoadGridFromTable(pane.table, left, top, height);
    view->show();
    view->raise();
}

} // namespace pelldrake
