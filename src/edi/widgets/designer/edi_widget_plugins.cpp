#include "edi/widgets/designer/edi_widget_plugins.h"

#include "widgets/fieldview.h"
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

namespace {

// The class name comes from the widget's own meta-object, so it is always the
// qualified name that uic writes and QUiLoader looks up.
template <typename Widget>
EdiWidgetPlugin::Description describe(const char *objectName, const char *includeFile, const char *toolTip)
{
    return {QString::fromLatin1(Widget::staticMetaObject.className()), QString::fromLatin1(objectName),
            QString::fromLatin1(includeFile), QString::fromUtf8(toolTip),
            [](QWidget *parent) -> QWidget * { return new Widget(parent); }};
}

} // namespace

EdiWidgetCollection::EdiWidgetCollection(QObject *parent) : QObject(parent)
{
    // The widgets register on the palette page as they do in a program, so
    // the page and the widget box list the same classes.
    lynEDIDBFieldView::Register();
    edi::lynEDIEDIFactToXML::Register();
    edi::lynEDIFromACH::Register();

    const EdiWidgetPlugin::Description widgets[] = {
        describe<TlynEDIDBFieldView>("lynEDIDBFieldView", "widgets/fieldview.h",
                                     "Field/value list of a table's current record"),
        describe<edi::TlynEDIEDIFactToXML>("lynEDIEDIFactToXML", "edi/widgets/edifact_to_xml.h",
                                           "Tree view for EDIFACT data (placeholder)"),
        describe<edi::TlynEDIFromACHListBox>("lynEDIFromACH", "edi/widgets/ach_list_box.h",
                                             "ACH records and the EDI text extracted from their addenda"),
    };
    for (const auto &description : widgets)
        m_widgets.append(new EdiWidgetPlugin(description, this));
}

} // namespace pelldrake::designer
