#include "edi/widgets/designer/edi_widget_plugins.h"

#include "browser/fieldview.h"
#include "edi/palette.h"
#include "edi/from_ach.h"
#include "edi/widgets/ach_list_box.h"
#include "edi/widgets/edifact_to_xml.h"


namespace pelldrake::designer {

EdiWidgetPlugin::EdiWidgetPlugin(Description description, QObject *parent)
    : QObject(parent), m_d(std::move(description))
{
}

QString EdiWidgetPlugin::group() const
{
    return QString::fromLatin1(edi::kPalettePage);
}

QIcon EdiWidgetPlugin::icon() const
{
    return QIcon(QStringLiteral(":/pelldrake/designer/pelldrake-22.png"));
}

QString EdiWidgetPlugin::domXml() const
{
    return QStringLiteral(R"(<ui language="c++">
 <widget class="%1" name="%2">
  <property name="geometry"><rect><x>0</x><y>0</y><width>310</width><height>200</height></rect></property>
 </widget>
</ui>
)").arg(m_d.className, m_d.objectName);
}

EdiWidgetCollection::EdiWidgetCollection(QObject *parent) : QObject(parent)
{
    // The widgets register on the palette page as they do in a program, so
    // the page and the widget box list the same classes.
    lynEDIDBFieldView::Register();
    edi::lynEDIEDIFactToXML::Register();
    edi::lynEDIFromACH::Register();

    m_widgets.append(new EdiWidgetPlugin(
        {QStringLiteral("pelldrake::TlynEDIDBFieldView"), QStringLiteral("lynEDIDBFieldView"),
         QStringLiteral("browser/fieldview.h"),
         QStringLiteral("Field/value list of a table's current record"),
         [](QWidget *parent) { return new TlynEDIDBFieldView(parent); }},
        this));
    m_widgets.append(new EdiWidgetPlugin(
        {QStringLiteral("pelldrake::edi::TlynEDIEDIFactToXML"), QStringLiteral("lynEDIEDIFactToXML"),
         QStringLiteral("edi/widgets/edifact_to_xml.h"),
         QStringLiteral("Tree view for EDIFACT data (placeholder)"),
         [](QWidget *parent) { return new edi::TlynEDIEDIFactToXML(parent); }},
        this));
    m_widgets.append(new EdiWidgetPlugin(
        {QStringLiteral("pelldrake::edi::TlynEDIFromACHListBox"), QStringLiteral("lynEDIFromACH"),
         QStringLiteral("edi/widgets/ach_list_box.h"),
         QStringLiteral("ACH records and the EDI text extracted from their addenda"),
         [](QWidget *parent) { return new edi::TlynEDIFromACHListBox(parent); }},
        this));
}

} // namespace pelldrake::designer
