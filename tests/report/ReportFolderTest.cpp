#include "report/ReportFolder.h"

#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

// --- Folders and params.ini -------------------------------------------------------------

TEST(ReportFolderTest, PrepareEmptiesBothFoldersAndCopiesTheTemplateWithoutItsPageStylesheets) {
    TTestFolder t;
    const std::string tpl = t.Path() + "tpl/", lib = t.Path() + "lib/", r = t.Path() + "R/", w = t.Path() + "W/";
    for (const char* name : {"main.xsl", "toc.xsl", "N.XSL", "shared.xsl", "report.css", "params.ini",
                             "images/logo.png", "images/MAIN.XSL", ".git/config"})
        t.WriteFile(std::string("tpl/") + name, "template");
    t.WriteFile("lib/shared.xsl", "library");
    t.WriteFile("lib/common.xsl", "library");
    t.WriteFile("R/old.htm", "old");
    t.WriteFile("R/charts/old.png", "old");
    t.WriteFile("W/stale.xml", "old");

    PrepareReportFolders(r, w, tpl, lib);

    for (const char* kept : {"report.css", "params.ini", "shared.xsl", "images/logo.png"})
        EXPECT_TRUE(FileExists(r + kept)) << kept;
    for (const char* gone : {"main.xsl", "toc.xsl", "N.XSL", "images/MAIN.XSL", "old.htm", "charts", ".git"})
        EXPECT_FALSE(fs::exists(r + gone)) << gone;

    for (const char* xsl : {"main.xsl", "toc.xsl", "N.XSL", "common.xsl"})
        EXPECT_TRUE(FileExists(w + xsl)) << xsl;
    EXPECT_EQ(TTestFolder::ReadFile(w + "shared.xsl"), "library");
    EXPECT_FALSE(fs::exists(w + "stale.xml"));
    EXPECT_FALSE(fs::exists(w + "report.css"));
}

TEST(ReportFolderTest, ReportNamesNeverMakeTheBaseFolderOrItsParentTheReportFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"Report for May", "/b/Report for May/"},
        {"", "/b/Default Report/"},
        {" . ", "/b/Default Report/"},
        {"..", "/b/Default Report/"},
        {"../../x", "/b/..-..-x/"},
        {"2024/05", "/b/2024-05/"},
    };
    for (const auto& [name, folder] : cases)
        EXPECT_EQ(ReportFolderPath("/b", name), folder) << name;
}

TEST(ReportFolderTest, DatesJoinTheTemplatesParamsAndReplaceEarlierOnes) {
    TTestFolder t;
    t.WriteFile("params.ini", "; report\r\n[OPTS]\r\nTemplateDesc=Menu\r\nstartdate=5\r\nDefaultFile=start.htm\r\n\r\n"
                              "[OTHER]\r\nCreationDate=1\r\n");
    // 2 January 2024 12:00 and the days of May 2024.
    ASSERT_TRUE(WriteReportDates(t.Path(), 45293.5, 45413, 45443.99));
    ASSERT_TRUE(WriteReportDates(t.Path(), 45294.5, 45413, 45443.99));

    EXPECT_EQ(ReadReportParam(t.Path(), "CreationDate"), "45294");
    EXPECT_EQ(ReadReportParam(t.Path(), "StartDate"), "45413");
    EXPECT_EQ(ReadReportParam(t.Path(), "EndDate"), "45443");
    EXPECT_EQ(ReadReportParam(t.Path(), "TemplateDesc"), "Menu");
    EXPECT_EQ(TTestFolder::ReadFile(t.Path() + "params.ini"),
              "; report\r\n[OPTS]\r\nTemplateDesc=Menu\r\nStartDate=45413\r\nDefaultFile=start.htm\r\n"
              "CreationDate=45294\r\nEndDate=45443\r\n\r\n[OTHER]\r\nCreationDate=1\r\n");

    // DefaultFile is opened only when it is there; otherwise the folder.
    EXPECT_EQ(ReportStartPage(t.Path()), t.Path());
    t.WriteFile("start.htm", "");
    EXPECT_EQ(ReportStartPage(t.Path()), t.Path() + "start.htm");

    // A template without params.ini still gets the dates.
    TTestFolder bare;
    ASSERT_TRUE(WriteReportDates(bare.Path(), 45294, 0, 0));
    EXPECT_EQ(TTestFolder::ReadFile(bare.Path() + "params.ini"),
              "[OPTS]\nCreationDate=45294\nStartDate=0\nEndDate=0\n");
    EXPECT_EQ(ReportStartPage(bare.Path()), bare.Path());
}

// --- Transform of one file --------------------------------------------------------------

TEST(TransformTest, ParametersArriveAsLiteralStrings) {
    TTestFolder t;
    const std::string xml = t.WriteFile("in.xml", "<a/>");
    const std::string xsl = t.WriteFile("s.xsl", R"(<xsl:stylesheet version="1.0"
        xmlns:xsl="http://www.w3.org/1999/XSL/Transform"><xsl:output method="text"/>
        <xsl:param name="who"/><xsl:param name="n"/>
        <xsl:template match="/">[<xsl:value-of select="$who"/>|<xsl:value-of select="$n"/>]</xsl:template>
        </xsl:stylesheet>)");
    std::string error;
    ASSERT_TRUE(TransformFile(xml, xsl, t.Path() + "out.txt", R"(who=it's"1+1" n=2*3)", &error)) << error;
    EXPECT_EQ(TTestFolder::ReadFile(t.Path() + "out.txt"), R"([it's"1+1"|2*3])");
}

TEST(TransformTest, InputCannotReadOtherFilesAndStylesheetsWriteOnlyBesideTheOutput) {
    TTestFolder t;
    t.WriteFile("secret.txt", "SECRET");
    const std::string copy = t.WriteFile("copy.xsl", R"(<xsl:stylesheet version="1.0"
        xmlns:xsl="http://www.w3.org/1999/XSL/Transform"><xsl:output method="text"/>
        <xsl:template match="/"><xsl:value-of select="."/></xsl:template></xsl:stylesheet>)");
    const std::string entity = t.WriteFile("xxe.xml", "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY s SYSTEM \"" +
                                                          t.Path() + "secret.txt\">]><a>&s;</a>");
    std::string error;
    EXPECT_FALSE(TransformFile(entity, copy, t.Path() + "xxe.txt", "", &error));
    EXPECT_NE(error.find("document type"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(t.Path() + "xxe.txt"));

    auto writer = [&](const std::string& target) {
        return t.WriteFile("write.xsl", R"(<xsl:stylesheet version="1.0"
            xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xmlns:exsl="http://exslt.org/common"
            extension-element-prefixes="exsl"><xsl:output method="text"/>
            <xsl:template match="/"><exsl:document href=")" +
                                            target + R"(" method="text">x</exsl:document>done</xsl:template>
            </xsl:stylesheet>)");
    };
    const std::string xml = t.WriteFile("in.xml", "<a/>");
    fs::create_directory(t.Path() + "out");
    EXPECT_TRUE(TransformFile(xml, writer(t.Path() + "out/extra.txt"), t.Path() + "out/page.txt", "", &error)) << error;
    EXPECT_TRUE(fs::exists(t.Path() + "out/extra.txt"));
    EXPECT_FALSE(TransformFile(xml, writer(t.Path() + "outside.txt"), t.Path() + "out/page2.txt", "", &error));
    EXPECT_FALSE(fs::exists(t.Path() + "outside.txt"));
    EXPECT_FALSE(fs::exists(t.Path() + "out/page2.txt"));
}

TEST(TransformTest, PagesWithoutTheirStylesheetAreReportedAsMissing) {
    TTestFolder t;
    t.WriteFile("W/TOC.xml", "<menu/>");
    t.WriteFile("W/general.xml", "<section/>");
    t.WriteFile("W/toc.xsl", R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
        <xsl:template match="/"><p/></xsl:template></xsl:stylesheet>)");
    const std::vector<TPageFailure> failures = TransformReport(t.Path() + "W/", t.Path() + "R/");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].XmlFile, "general.xml");
    EXPECT_TRUE(FileExists(t.Path() + "R/TOC.htm"));
}

// A main.xsl that is broken, recurses without end, does exponential work, or reads or writes
// outside the report: its pages fail with a reason, in bounded time, and nothing outside the
// work and report folders is read into a page or written.
TEST(TransformTest, HostileMainStylesheetsFailTheirPagesAndTouchNothingOutside) {
    TTestFolder t;
    t.WriteFile("secret.xml", "<s>SECRET</s>");
    const std::string head = R"x(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
        xmlns:exsl="http://exslt.org/common" extension-element-prefixes="exsl">)x";
    const auto sheet = [&](const std::string& body) { return head + body + "</xsl:stylesheet>"; };
    const struct {
        const char* Name;
        std::string Stylesheet;
    } cases[] = {
        {"broken", sheet("<xsl:template match=\"/\"><p>")},
        {"endless", sheet(R"x(<xsl:template match="/"><xsl:call-template name="r"/></xsl:template>
            <xsl:template name="r"><xsl:param name="n" select="0"/><xsl:call-template name="r">
            <xsl:with-param name="n" select="$n + 1"/></xsl:call-template></xsl:template>)x")},
        {"exponential", sheet(R"x(<xsl:template match="/"><xsl:call-template name="r"/></xsl:template>
            <xsl:template name="r"><xsl:param name="n" select="0"/><xsl:if test="$n &lt; 60">
            <xsl:call-template name="r"><xsl:with-param name="n" select="$n + 1"/></xsl:call-template>
            <xsl:call-template name="r"><xsl:with-param name="n" select="$n + 1"/></xsl:call-template>
            </xsl:if></xsl:template>)x")},
        {"read-relative", sheet(R"x(<xsl:template match="/"><xsl:value-of select="document('../secret.xml')"/>
            </xsl:template>)x")},
        {"read-absolute", sheet(R"x(<xsl:template match="/"><xsl:value-of select="document(')x" + t.Path() +
                                R"x(secret.xml')"/></xsl:template>)x")},
        {"write-outside", sheet(R"x(<xsl:template match="/"><exsl:document href="../outside.htm" method="text">x
            </exsl:document></xsl:template>)x")},
    };
    for (const auto& c : cases) {
        fs::remove_all(t.Path() + "W");
        fs::remove_all(t.Path() + "R");
        t.WriteFile("W/TOC.xml", "<menu/>");
        t.WriteFile("W/general.xml", "<section/>");
        t.WriteFile("W/toc.xsl", R"x(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
            <xsl:template match="/"><xsl:copy-of select="document('general.xml')"/></xsl:template>
            </xsl:stylesheet>)x");
        t.WriteFile("W/main.xsl", c.Stylesheet);
        const auto start = std::chrono::steady_clock::now();
        const std::vector<TPageFailure> failures = TransformReport(t.Path() + "W/", t.Path() + "R/");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.Name;
        ASSERT_EQ(failures.size(), 1u) << c.Name;
        EXPECT_EQ(failures[0].XmlFile, "general.xml") << c.Name;
        EXPECT_FALSE(failures[0].Error.empty()) << c.Name;
        EXPECT_TRUE(FileExists(t.Path() + "R/TOC.htm")) << c.Name; // reads beside its input
        EXPECT_FALSE(fs::exists(t.Path() + "R/general.htm")) << c.Name;
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(t.Path()))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"R", "W", "secret.xml"})) << c.Name;
    }
}

// --- The default template on a hand-written report --------------------------------------

struct THtmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

class TemplateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Folder = new TTestFolder;
        Report = Folder->Path() + "Report for May/";
        const std::string work = Folder->Path() + "work/";
        PrepareReportFolders(Report, work, ReportTemplateFolder("CV - Menu - IE"), StylesheetLibraryFolder());
        for (const auto& entry : fs::directory_iterator(TestDataFolder() + "report-folder"))
            if (entry.path().extension() == ".xml") fs::copy_file(entry.path(), work / entry.path().filename());
        Failures = new std::vector<TPageFailure>(TransformReport(work, Report));
        // scripts/screenshot-report.sh looks at the pages made here.
        if (const char* keep = std::getenv("QUORVEL_REPORT_PREVIEW"))
            fs::copy(Report, keep, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    static void TearDownTestSuite() {
        delete Failures;
        delete Folder;
    }

    // The text of every node the XPath expression selects in a report page.
    static std::vector<std::string> Select(const std::string& page, const char* xpath) {
        std::unique_ptr<xmlDoc, THtmlDocFree> doc(htmlReadFile(
            (Report + page).c_str(), "UTF-8", HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
        std::vector<std::string> values;
        if (!doc) return values;
        xmlXPathContextPtr context = xmlXPathNewContext(doc.get());
        xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath), context);
        if (result && result->nodesetval) {
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
                values.emplace_back(text ? reinterpret_cast<char*>(text) : "");
                xmlFree(text);
            }
        }
        xmlXPathFreeObject(result);
        xmlXPathFreeContext(context);
        return values;
    }

    static TTestFolder* Folder;
    static std::string Report;
    static std::vector<TPageFailure>* Failures;
};
TTestFolder* TemplateTest::Folder = nullptr;
std::string TemplateTest::Report;
std::vector<TPageFailure>* TemplateTest::Failures = nullptr;

using Strings = std::vector<std::string>;

TEST_F(TemplateTest, BrokenSectionIsTheOnlyMissingPage) {
    ASSERT_EQ(Failures->size(), 1u);
    EXPECT_EQ((*Failures)[0].XmlFile, "broken.xml");
    EXPECT_FALSE((*Failures)[0].Error.empty());
    EXPECT_FALSE(fs::exists(Report + "broken.htm"));
    for (const char* page : {"TOC.htm", "general.htm", "activity.htm", "access.htm", "referer.htm", "groupsdef.htm",
                             "url_params.xml.htm", "report.css", "params.ini"})
        EXPECT_TRUE(FileExists(Report + page)) << page;
    EXPECT_FALSE(fs::exists(Report + "main.xsl"));
}

TEST_F(TemplateTest, StartPageLinksEverySectionAndOnlySubsectionsThatExist) {
    EXPECT_EQ(Select("TOC.htm", "//nav//ol/li/a/@href"), (Strings{"general.htm", "activity.htm", "access.htm",
                                                                  "referer.htm", "url_params.xml.htm", "broken.htm"}));
    EXPECT_EQ(Select("TOC.htm", "//h1"), Strings{"Statistics for example.org"});
    EXPECT_EQ(Select("TOC.htm", "//main//li[h2/a='Activity']/ul/li/a/@href"),
              (Strings{"activity.htm#sub1", "activity.htm#sub3"}));
    EXPECT_EQ(Select("TOC.htm", "//*[@class='daterange']"), Strings{"Report period: 2024-05-01 - 2024-05-31"});

    // A section page marks itself in the menu and lists its own subsections.
    EXPECT_EQ(Select("activity.htm", "//nav//li[@class='current']/ol/li/a/@href"),
              (Strings{"activity.htm#sub1", "activity.htm#sub3"}));
    EXPECT_EQ(Select("activity.htm", "//section/@id"), (Strings{"sub1", "sub3"}));
}

TEST_F(TemplateTest, TablesKeepTheirRowsCaptionsAndTotals) {
    const std::string table = "//section[@id='sub1']//table";
    EXPECT_EQ(Select("access.htm", (table + "/caption").c_str()), Strings{"Most requested files"});
    EXPECT_EQ(Select("access.htm", (table + "/thead//th").c_str()), (Strings{"File", "Hits", "% of Total"}));
    EXPECT_EQ(Select("access.htm", (table + "/tbody/tr").c_str()).size(), 9u);
    EXPECT_EQ(Select("access.htm", (table + "/tbody/tr[@class='others']/*").c_str()),
              (Strings{"Others (122)", "1530", "7.45%"}));
    EXPECT_EQ(Select("access.htm", (table + "/tfoot/tr[@class='total']/*").c_str()),
              (Strings{"Total (130)", "20533", "100%"}));
    EXPECT_EQ(Select("activity.htm", "//tfoot/tr[@class='average']/th"), Strings{"Average"});

    // A caption row inside a table spans the columns it has no figures for.
    EXPECT_EQ(Select("general.htm", "//section[@id='sub1']//tr[@class='subhead']/th/@colspan"),
              (Strings{"2", "2", "2", "2"}));
    EXPECT_EQ(Select("general.htm", "//section[@id='sub1']//thead"), Strings{});
    EXPECT_EQ(Select("referer.htm", "//section[@id='sub2']//tr[@class='subhead']/*"),
              (Strings{"Google", "1540", "DuckDuckGo", "498"}));
}

TEST_F(TemplateTest, GroupRowsLinkToTheirDetailTableAndChartsPointAtTheirFiles) {
    EXPECT_EQ(Select("access.htm", "//a[@class='group']/@href"), Strings{"groupsdef.htm#WebTeam"});
    EXPECT_EQ(Select("groupsdef.htm", "//*[@id='WebTeam']/following-sibling::*[1]//caption"),
              Strings{"Group \"Web Team\" details"});
    EXPECT_EQ(Select("access.htm", "//img/@src"), Strings{"charts/access_daily_files.png"});
    EXPECT_EQ(Select("referer.htm", "//section[@id='sub1']//img/@src"),
              (Strings{"charts/referrer_daily_domain.svg", "charts/referrer_pie_domain.svg"}));
}

TEST_F(TemplateTest, LogTextIsShownAsTextNeverAsMarkup) {
    EXPECT_EQ(Select("access.htm", "//script"), Strings{});
    EXPECT_EQ(Select("access.htm", "//td[starts-with(., '<script>')]"), Strings{"<script>alert(\"x\")</script>"});
    EXPECT_NE(TTestFolder::ReadFile(Report + "access.htm").find("&lt;script&gt;"), std::string::npos);
}

} // namespace
