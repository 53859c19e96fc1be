#include "edi/palette.h"
#include "edi/recv_translate_to.h"
#include "edi/trading_partner.h"
#include "x12_fixture.h"

#include <gtest/gtest.h>

using namespace pelldrake::edi;

TEST(Components, TradingPartnerTableDefinesItsFieldsAndRoundTrips)
{
    x12test::WorkDir wd;
    TlynEDIRecvTradingPartner tp;
    const auto &defs = tp.fieldDefs();
    ASSERT_EQ(defs.size(), 3u);
    EXPECT_EQ(defs[0].name, "ISASenderID");
    EXPECT_EQ(defs[0].size, 15);
    EXPECT_EQ(defs[1].name, "ISAReceiverID");
    EXPECT_EQ(defs[1].size, 15);
    EXPECT_EQ(defs[2].name, "DataSet");
    EXPECT_EQ(defs[2].size, 3);
    EXPECT_FALSE(tp.active());

    tp.createDataSet();
    tp.append();
    tp.fieldByName("ISASenderID").setAsString("ACME           ");
    tp.fieldByName("ISAReceiverID").setAsString("WIDGETCO");
    tp.fieldByName("DataSet").setAsString("850");
    tp.post();
    tp.saveToFile("partners.cds");

    pelldrake::ClientDataSet plain;
    plain.loadFromFile("partners.cds");
    ASSERT_EQ(plain.fieldDefs().size(), 3u);
    EXPECT_EQ(plain.fieldByName("ISASenderID").asString(), "ACME           ");
    EXPECT_EQ(plain.fieldByName("DataSet").asString(), "850");
}

TEST(Components, ReaderStartsEmptyAndClosed)
{
    TlynEDIRecvTranslateTo r;
    EXPECT_FALSE(r.active());
    EXPECT_TRUE(r.segmentList.empty());
    EXPECT_EQ(r.segmentCount + r.segmentIndex + r.elementCount + r.transactionSetCount, 0);
    EXPECT_TRUE(r.elementSeparator.empty() && r.subElementSeparator.empty() && r.ediDirectory.empty());
    ASSERT_EQ(r.fieldDefs().size(), 2u);
    EXPECT_EQ(r.fieldDefs()[0].name, "Type");
    EXPECT_EQ(r.fieldDefs()[0].size, 20);
    EXPECT_EQ(r.fieldDefs()[1].type, pelldrake::FieldType::Memo);
    // Nothing loaded: the getters and loadDocument find nothing.
    EXPECT_EQ(r.getISASegElement(0), "");
    r.loadDocument(1);
    EXPECT_EQ(r.segmentCount, 0);
}

TEST(Components, RegisterRecordsEachClassOnceOnTheEdiPage)
{
    lynEDIRecvTranslateTo::Register();
    lynEDIRecvTradingPartner::Register();
    lynEDIRecvTranslateTo::Register();
    const auto classes = registeredComponents("lynEDIControls");
    EXPECT_EQ(std::count(classes.begin(), classes.end(), "TlynEDIRecvTranslateTo"), 1);
    EXPECT_EQ(std::count(classes.begin(), classes.end(), "TlynEDIRecvTradingPartner"), 1);
    EXPECT_TRUE(registeredComponents("other").empty());
}
