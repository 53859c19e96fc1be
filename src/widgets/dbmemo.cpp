#include "widgets/dbmemo.h"

#include "shell/application.h"
#include "engine/data_source.h"
#include "engine/table.h"

namespace pelldrake {

namespace {

// Wrapping a paragraph takes time growing with the square of its length: a
// line of a million characters kept the window busy for over a minute, one of
// 20 MB had not finished after seven. Unwrapped, a line costs time in
// proportion to its length.
constexpr qsizetype kMaxWrappedLine = 20000;

bool hasLongLine(QStringView text)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            run = 0;
        else if (++run > kMaxWrappedLine)
            return true;
    }
    return false;
}

} // namespace

DBMemo::DBMemo(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::userChanged);
}

void DBMemo::setDataSource(engine::DataSource *source)
{
    if (source_)
        disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_)
        connect(source_, &engine::DataSource::dataSetChanged, this, &DBMemo::attach);
    attach();
}

void DBMemo::setDataField(const QString &fieldName)
{
    fieldName_ = fieldName;
    loadValue();
}

void DBMemo::attach()
{
    for (const auto &c : connections_)
        disconnect(c);
    connections_.clear();
    table_ = source_ ? source_->dataSet() : nullptr;
    if (table_) {
        connections_ << connect(table_, &engine::Table::afterScroll, this, &DBMemo::loadValue)
                     << connect(table_, &engine::Table::dataChanged, this, &DBMemo::loadValue)
                     << connect(table_, &engine::Table::stateChanged, this, &DBMemo::loadValue);
    }
    loadValue();
}

engine::Field *DBMemo::boundField() const
{
    if (!table_ || !table_->active() || fieldName_.isEmpty())
        return nullptr;
    return table_->findField(fieldName_);
}

void DBMemo::loadValue()
{
    if (writing_)
        return; // our own change coming back from the table
    if (table_ && table_->active() && table_->controlsDisabled())
        return; // refreshed once the controls are enabled again
    engine::Field *field = boundField();
    const bool hasRecord = field && !table_->isEmpty();
    const QString text = hasRecord ? field->text() : QString();
    setReadOnly(!field || !field->canModify() || !table_->canModify());
    if (text == toPlainText())
        return;
    loading_ = true;
    // The whole value is shown and edited; only a very long line is not wrapped.
    // The mode changes while the shorter text is in, so no long line is ever wrapped.
    const LineWrapMode wrap = hasLongLine(text) ? NoWrap : WidgetWidth;
    if (wrap == NoWrap)
        setLineWrapMode(wrap);
    setPlainText(text);
    setLineWrapMode(wrap);
    loading_ = false;
}

void DBMemo::userChanged()
{
    if (loading_)
        return;
    engine::Field *field = boundField();
    if (!field)
        return;
    writing_ = true;
    try {
        if (table_->state() == engine::TableState::Browse)
            table_->edit();
        field = boundField(); // edit() may have re-read the record
        if (field && field->text() != toPlainText())
            field->setAsString(toPlainText());
        writing_ = false;
    } catch (...) {
        writing_ = false;
        Application::showException(std::current_exception());
        loadValue();
    }
}

} // namespace pelldrake
