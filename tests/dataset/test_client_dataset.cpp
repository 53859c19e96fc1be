#include "dataset/client_dataset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using pelldrake::ClientDataSet;
using pelldrake::DataSetError;
using pelldrake::FieldType;

namespace {

class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("pelldrake-ds-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() { std::error_code ec; fs::remove_all(path_, ec); }
    fs::path operator/(const std::string &name) const { return path_ / name; }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

void defineStore(ClientDataSet &ds)
{
    ds.addFieldDef("Type", FieldType::String, 20);
    ds.addFieldDef("Data", FieldType::Memo);
}

void addRecord(ClientDataSet &ds, const std::string &type, const std::string &data)
{
    ds.append();
    ds.fieldByName("Type").setAsString(type);
    ds.fieldByName("Data").setAsString(data);
    ds.post();
}

std::vector<std::pair<std::string, std::string>> walk(ClientDataSet &ds)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (ds.first(); !ds.eof(); ds.next())
        out.emplace_back(ds.fieldByName("Type").asString(), ds.fieldByName("Data").asString());
    return out;
}

} // namespace

TEST(ClientDataSet, SaveAndOpenRoundTripKeepsDefinitionsAndEveryByte)
{
    TempDir dir;
    const std::string file = (dir / "store.cds").string();
    const std::string memo = "ST*850*0001\nBEG*00*SA*4711\r\n\nSE*3*0001\n";
    const std::string umlaut = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC";
    std::string binary("a\x00\xFF\x80 b", 6); // the literal holds a zero byte: give its length
    binary += std::string(1, '\0');
    binary += "\xC3"; // a cut UTF-8 sequence is not valid text

    {
        ClientDataSet ds;
        defineStore(ds);
        ds.createDataSet();
        addRecord(ds, "SEGTERM", "126");
        addRecord(ds, "ST", memo);
        addRecord(ds, umlaut, binary);
        addRecord(ds, "", "");
        ds.saveToFile(file);
    }
    ClientDataSet back;
    back.setFileName(file);
    back.open();
    ASSERT_EQ(back.fieldDefs().size(), 2u);
    EXPECT_EQ(back.fieldDefs()[0].name, "Type");
    EXPECT_EQ(back.fieldDefs()[0].type, FieldType::String);
    EXPECT_EQ(back.fieldDefs()[0].size, 20);
    EXPECT_EQ(back.fieldDefs()[1].type, FieldType::Memo);
    const auto recs = walk(back);
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0], (std::pair<std::string, std::string>{"SEGTERM", "126"}));
    EXPECT_EQ(recs[1].second, memo);
    EXPECT_EQ(recs[2].first, umlaut);
    EXPECT_EQ(recs[2].second, binary);
    EXPECT_EQ(recs[3].second, "");
}

TEST(ClientDataSet, CloseSavesToFileNameAndOpenWithoutDataFails)
{
    TempDir dir;
    const std::string file = (dir / "close.cds").string();
    ClientDataSet ds;
    defineStore(ds);
    ds.setFileName(file);
    EXPECT_THROW(ds.open(), DataSetError);
    ds.createDataSet();
    addRecord(ds, "GS", "GS*PO");
    ds.close();
    EXPECT_FALSE(ds.active());
    ASSERT_TRUE(fs::exists(file));

    ClientDataSet other;
    other.setFileName(file);
    other.open();
    EXPECT_EQ(other.recordCount(), 1u);
    EXPECT_EQ(other.fieldByName("Data").asString(), "GS*PO");
}

TEST(ClientDataSet, DamagedOrForeignFilesRaiseDataSetError)
{
    TempDir dir;
    const auto write = [&](const std::string &name, const std::string &text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    };
    ClientDataSet ds;
    EXPECT_THROW(ds.loadFromFile(write("a", "{not json")), DataSetError);
    EXPECT_THROW(ds.loadFromFile(write("b", R"({"format":"other"})")), DataSetError);
    EXPECT_THROW(ds.loadFromFile(write("c", R"({"format":"pelldrake-dataset","version":1,"fields":[{"name":"A","type":"string","size":3}],"records":[["x","y"]]})")),
                 DataSetError);
    EXPECT_THROW(ds.loadFromFile((dir / "missing").string()), DataSetError);
    EXPECT_FALSE(ds.active());
}

TEST(ClientDataSet, CursorEditAppendDeleteAndCancel)
{
    ClientDataSet ds;
    defineStore(ds);
    ds.createDataSet();
    ds.first();
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(ds.fieldByName("Data").asString(), "");
    EXPECT_THROW(ds.edit(), DataSetError);
    EXPECT_THROW(ds.fieldByName("Nope"), DataSetError);

    addRecord(ds, "A", "1");
    addRecord(ds, "B", "2");
    addRecord(ds, "C", "3");

    // Edit in place, appending text and then cancelling restores the old value.
    ds.first();
    ds.next();
    ds.edit();
    ds.fieldByName("Data").appendText("\nmore");
    ds.fieldByName("Data").setAsString("replaced");
    ds.cancel();
    EXPECT_EQ(ds.fieldByName("Data").asString(), "2");
    ds.edit();
    ds.fieldByName("Data").appendText("\nmore");
    ds.post();
    EXPECT_EQ(ds.fieldByName("Data").asString(), "2\nmore");

    // Cancelling an append drops the new record.
    ds.append();
    ds.cancel();
    EXPECT_EQ(ds.recordCount(), 3u);

    // A fixed-length string keeps at most its size and never half a character.
    ds.append();
    ds.fieldByName("Type").setAsString("0123456789012345678\xC3\xA4xyz");
    ds.post();
    EXPECT_EQ(ds.fieldByName("Type").asString(), "0123456789012345678");

    // Deleting from the front until empty, as the EDI store does.
    ds.first();
    while (ds.recordCount() > 0)
        ds.deleteRecord();
    EXPECT_TRUE(ds.eof());
    ds.first();
    EXPECT_TRUE(ds.eof());
    EXPECT_THROW(ds.deleteRecord(), DataSetError);
}

TEST(ClientDataSet, NavigationBeforeOpenAndDefinitionChangesWhileOpenAreRefused)
{
    ClientDataSet ds;
    EXPECT_THROW(ds.first(), DataSetError);
    EXPECT_THROW(ds.createDataSet(), DataSetError); // no definitions
    defineStore(ds);
    ds.createDataSet();
    EXPECT_THROW(ds.addFieldDef("X", FieldType::Memo), DataSetError);
    EXPECT_THROW(ds.saveToFile(), DataSetError); // no file name
}

TEST(ClientDataSet, AFailedSaveNamesTheSystemsReasonAndKeepsTheOldFile)
{
    TempDir dir;
    ClientDataSet ds;
    defineStore(ds);
    ds.createDataSet();
    addRecord(ds, "ISA", "ISA*00");
    try {
        ds.saveToFile((dir / "no-such-folder" / "store.cds").string());
        FAIL() << "a save into a missing folder succeeded";
    } catch (const DataSetError &e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }

    // A directory in the way of the rename: the save fails and what is there stays.
    fs::create_directories(dir / "taken" / "inside");
    EXPECT_THROW(ds.saveToFile((dir / "taken").string()), DataSetError);
    EXPECT_TRUE(fs::exists(dir / "taken" / "inside"));
    for (const auto &entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}
