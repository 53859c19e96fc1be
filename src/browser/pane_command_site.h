#pragma once

#include "maintenance/command_site.h"

#include <QPointer>

#include <vector>

class QAction;
class QWidget;

namespace pelldrake {

struct Pane;
class TPelldrakeCDSForm;

// A maintenance command's site on a pane of the main window: the pane's table
// and boxes, the dialogs service for the conversation, and the window's
// controls lock. One lives for one command.
class PaneCommandSite : public maintenance::CommandSite {
public:
    PaneCommandSite(TPelldrakeCDSForm &form, Pane &pane);
    ~PaneCommandSite() override;
    PaneCommandSite(const PaneCommandSite &) = delete;
    PaneCommandSite &operator=(const PaneCommandSite &) = delete;

    engine::Table &table() override;
    QString aliasName() const override;
    QString selectedTableName() const override;
    QString chosenFieldName() const override;
    void clearChosenField() override;

    void showMessage(const QString &text) override;
    void showError(const QString &text) override;
    // In the status bar: the running command goes on meanwhile.
    void showNotice(const QString &text) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    QString inputBox(const QString &caption, const QString &prompt, const QString &defaultText) override;

    void clearFilterBox() override;
    void postPendingEdit() override;

    void showRecordCounts() override;
    // This pane's count as given, and the other pane's as read now.
    void showRecordCount(std::optional<qint64> count) noexcept override;
    void showCurrentRecord(qint64 number) override;

    // The pane controls: the window's lock of the pane (alias chooser, table
    // list, information listing, grid, navigator) and, with `selection`, the
    // filter value, field name and index boxes. The command controls: "Close"
    // of the File menu and the pane's filter value, field name and index boxes,
    // "Default Column Order", table list, alias chooser, "Password Required",
    // "Use Extensions" and type chooser. Each gets back the enabled state it had.
    void lockPaneControls(bool selection) override;
    void lockCommandControls() override;
    void unlockControls() noexcept override;
    void processEvents() override;
    bool reportProgress(qint64 done, qint64 total, ProgressUnit unit) override;

private:
    TPelldrakeCDSForm &form_;
    Pane &pane_;
    bool paneLocked_ = false;
    bool reported_ = false; // this site's command showed its progress
    struct SavedState {
        QPointer<QWidget> widget;
        QPointer<QAction> action;
        bool enabled;
    };
    std::vector<SavedState> saved_;
};

} // namespace pelldrake
