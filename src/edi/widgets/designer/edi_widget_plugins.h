#pragma once
// Qt Designer plugin: puts the visual EDI components in the widget box, on the
// page lynEDIControls, so forms can place them like any Qt widget.
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <QIcon>
#include <QObject>
#include <functional>

namespace pelldrake::designer {

// One widget of the page. Every EDI widget is described by the same few facts,
// so one class serves them all.
class EdiWidgetPlugin : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;
    struct Description {
        QString className;    // qualified, as uic writes it into generated code
        QString objectName;   // the name a newly placed widget gets
        QString includeFile;  // relative to the project's src/ folder
        QString toolTip;
        Factory create;
    };

    EdiWidgetPlugin(Description description, QObject *parent);

    QString name() const override { return m_d.className; }
    QString group() const override;
    QString toolTip() const override { return m_d.toolTip; }
    QString whatsThis() const override { return m_d.toolTip; }
    QString includeFile() const override { return m_d.includeFile; }
    QIcon icon() const override;
    bool isContainer() const override { return false; }
    QWidget *createWidget(QWidget *parent) override { return m_d.create(parent); }
    bool isInitialized() const override { return m_initialized; }
    void initialize(QDesignerFormEditorInterface *) override { m_initialized = true; }
    QString domXml() const override;

private:
    Description m_d;
    bool m_initialized = false;
};

class EdiWidgetCollection : public QObject, public QDesignerCustomWidgetCollectionInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
    Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)
public:
    explicit EdiWidgetCollection(QObject *parent = nullptr);
    QList<QDesignerCustomWidgetInterface *> customWidgets() const override { return m_widgets; }

private:
    QList<QDesignerCustomWidgetInterface *> m_widgets;
};

} // namespace pelldrake::designer
