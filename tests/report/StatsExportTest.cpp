// The statistics export: texts from logs come out as valid JSON and RFC 4180 CSV, whatever
// bytes they hold, and every row is there.

#include "report/StatsExport.h"

#include "report/u_xmloutput.h"

#include <gtest/gtest.h>

namespace {

// One table of hits and shares with rows whose names need escaping.
class StatsExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        TXMLSection* section = Document.AddSection();
        section->Id = "access";
        section->Title = "File Access";
        TXMLSubSection* sub = section->AddSubSection();
        sub->Title = "Files";
        TXMLTable* table = sub->AddTable();
        table->Columns = 6; // hits, share
        table->AddHeaderRow("Pages", 0, 0, 0);
        table->AddRow("/a\"b,c", 3, 0, 0)->Share = 0.75;
        table->AddRow("line\nbreak\x01", 1, 0, 0)->Share = 0.25;
        table->AddRow("bad \xC3( byte", 1, 0, 0);
        table->AddRow("{{Shop", 2, 0, 0);
    }
    TXMLOutput Document;
};

TEST_F(StatsExportTest, TextsAreEscapedAndEveryRowIsKept) {
    EXPECT_EQ(StatsJson(Document), "{\n\"schema\": 1,\n\"generatedOn\": \"\",\n\"dateRange\": \"\",\n\"tables\": [\n"
                                   "{\"id\": \"access-1-1\", \"section\": \"File Access\", \"subsection\": \"Files\", "
                                   "\"title\": \"\", \"key\": \"\", \"columns\": [\"hits\", \"share\"], \"total\": "
                                   "{\"hits\": 7, \"visits\": 0, \"bytes\": 0},\n \"rows\": [\n"
                                   "  {\"kind\": \"header\", \"name\": \"Pages\", \"hits\": 0, \"share\": 0},\n"
                                   "  {\"kind\": \"row\", \"name\": \"/a\\\"b,c\", \"hits\": 3, \"share\": 0.75},\n"
                                   "  {\"kind\": \"row\", \"name\": \"line\\u000abreak\\u0001\", \"hits\": 1, "
                                   "\"share\": 0.25},\n"
                                   "  {\"kind\": \"row\", \"name\": \"bad \xEF\xBF\xBD( byte\", \"hits\": 1, "
                                   "\"share\": 0},\n"
                                   "  {\"kind\": \"group\", \"name\": \"Shop\", \"hits\": 2, \"share\": 0}]}\n]\n}\n");
    const auto files = StatsCsvFiles(Document);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].first, "access-1-1.csv");
    EXPECT_EQ(files[0].second, "kind,name,hits,share\r\n"
                               "header,Pages,0,0\r\n"
                               "row,\"/a\"\"b,c\",3,0.75\r\n"
                               "row,\"line\nbreak\x01\",1,0.25\r\n"
                               "row,bad \xEF\xBF\xBD( byte,1,0\r\n"
                               "group,Shop,2,0\r\n");
}

} // namespace
