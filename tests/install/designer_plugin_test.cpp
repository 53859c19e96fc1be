// Loads the Qt Designer plugin as Designer does and creates every EDI widget
// through it, then through QUiLoader from a form that places them.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QTreeWidget>
#ifdef PELLDRAKE_HAVE_UITOOLS
#include <QUiLoader>
#endif
#include <QXmlStreamReader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QStringList kExpectedWidgets = {
    QStringLiteral("pelldrake::TlynEDIDBFieldView"),
    QStringLiteral("pelldrake::edi::TlynEDIEDIFactToXML"),
    QStringLiteral("pelldrake::edi::TlynEDIFromACHListBox"),
};

// The plugin folder of the build, or PELLDRAKE_TEST_PLUGIN_DIR (the package
// test points it at the unpacked package).
QString pluginDir()
{
    const QString dir = qEnvironmentVariable("PELLDRAKE_TEST_PLUGIN_DIR");
    return dir.isEmpty() ? QStringLiteral(PELLDRAKE_PLUGIN_DIR) : dir;
}

QString pluginFile()
{
    const QDir dir(pluginDir() + QStringLiteral("/designer"));
    const QStringList files = dir.entryList({QStringLiteral("*pelldrake_designer_plugin*")}, QDir::Files);
    return files.isEmpty() ? QString() : dir.filePath(files.first());
}

class DesignerPlugin : public ::testing::Test {
protected:
    void SetUp() override
    {
        loader.setFileName(pluginFile());
        ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
        collection = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(loader.instance());
        ASSERT_NE(collection, nullptr);
    }

    QPluginLoader loader;
    QDesignerCustomWidgetCollectionInterface *collection = nullptr;
};

// The class attribute of the <widget> element of a domXml text.
QString domWidgetClass(const QString &xml, QString *name)
{
    QXmlStreamReader reader(xml);
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("widget")) {
            *name = reader.attributes().value(QLatin1String("name")).toString();
            return reader.attributes().value(QLatin1String("class")).toString();
        }
        if (reader.name() != QLatin1String("ui"))
            reader.skipCurrentElement();
    }
    return QString();
}

TEST_F(DesignerPlugin, OffersEveryEdiWidgetOnTheEdiPageAndCreatesIt)
{
    QStringList names;
    QWidget form;
    for (QDesignerCustomWidgetInterface *w : collection->customWidgets()) {
        const QString name = w->name();
        SCOPED_TRACE(name.toStdString());
        names << name;
        EXPECT_EQ(w->group(), QStringLiteral("lynEDIControls"));
        EXPECT_FALSE(w->isContainer());
        EXPECT_FALSE(w->icon().isNull());
        EXPECT_FALSE(w->toolTip().isEmpty());
        // Code that uic generates for a form includes this header.
        EXPECT_TRUE(QFileInfo::exists(QStringLiteral(PELLDRAKE_SOURCE_DIR "/src/") + w->includeFile()))
            << w->includeFile().toStdString();

        QString objectName;
        EXPECT_EQ(domWidgetClass(w->domXml(), &objectName), name);
        EXPECT_FALSE(objectName.isEmpty());

        QWidget *widget = w->createWidget(&form);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(QString::fromLatin1(widget->metaObject()->className()), name);
        EXPECT_EQ(widget->parentWidget(), &form);
    }
    names.sort();
    QStringList expected = kExpectedWidgets;
    expected.sort();
    EXPECT_EQ(names, expected);
}

#ifdef PELLDRAKE_HAVE_UITOOLS
TEST(DesignerPluginForm, AFormPlacingTheWidgetsLoadsThroughTheUiLoader)
{
    QUiLoader uiLoader;
    uiLoader.clearPluginPaths();
    uiLoader.addPluginPath(pluginDir() + QStringLiteral("/designer"));
    const QStringList available = uiLoader.availableWidgets();
    for (const QString &name : kExpectedWidgets)
        EXPECT_TRUE(available.contains(name)) << name.toStdString();

    QByteArray ui = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>PartnerForm</class>
 <widget class="QWidget" name="PartnerForm">
  <widget class="pelldrake::TlynEDIDBFieldView" name="lynEDIDBFieldView1"/>
  <widget class="pelldrake::edi::TlynEDIEDIFactToXML" name="lynEDIEDIFactToXML1"/>
  <widget class="pelldrake::edi::TlynEDIFromACHListBox" name="lynEDIFromACH1"/>
 </widget>
</ui>
)";
    QBuffer buffer(&ui);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> form(uiLoader.load(&buffer));
    ASSERT_NE(form, nullptr) << uiLoader.errorString().toStdString();

    auto *fieldView = form->findChild<QTreeWidget *>(QStringLiteral("lynEDIDBFieldView1"));
    ASSERT_NE(fieldView, nullptr);
    EXPECT_STREQ(fieldView->metaObject()->className(), "pelldrake::TlynEDIDBFieldView");
    ASSERT_EQ(fieldView->columnCount(), 2);
    EXPECT_EQ(fieldView->headerItem()->text(0), QStringLiteral("Field Name"));
    EXPECT_EQ(fieldView->headerItem()->text(1), QStringLiteral("Value"));

    QWidget *tree = form->findChild<QWidget *>(QStringLiteral("lynEDIEDIFactToXML1"));
    ASSERT_NE(tree, nullptr);
    EXPECT_STREQ(tree->metaObject()->className(), "pelldrake::edi::TlynEDIEDIFactToXML");
    EXPECT_TRUE(tree->inherits("QTreeView"));

    QWidget *ach = form->findChild<QWidget *>(QStringLiteral("lynEDIFromACH1"));
    ASSERT_NE(ach, nullptr);
    EXPECT_STREQ(ach->metaObject()->className(), "pelldrake::edi::TlynEDIFromACHListBox");
    EXPECT_TRUE(ach->inherits("QListWidget"));
}
#endif

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
