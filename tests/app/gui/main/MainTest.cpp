// The main window driven by its actions and keys in a sandbox: the two lists and their sort
// state, the actions on profiles and reports, a report job run and cancelled from the window.

#include "app/gui/main/Main.h"
#include "app/gui/main/MainDialogs.h"
#include "app/gui/progress/u_progress.h"
#include "core/ReportRunner.h"
#include "profile/DefaultRecords.h"
#include "profile/u_qvgensettings.h"
#include "profile/u_qvprofile.h"
#include "sources/SystemInfo.h"
#include "support/FtpServer.h"
#include "support/Sandbox.h"
#include "support/TestLogs.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

// Answers of the window's boxes, scripted; what they were asked is kept.
struct TScriptedDialogs : TMainDialogs {
    void Message(const std::string& text) override { Asked.push_back("message: " + text); }
    bool Confirm(const std::string& text) override {
        Asked.push_back("confirm: " + text);
        return Answer;
    }
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt) override {
        Asked.push_back("ask: " + title + " / " + prompt);
        return Text;
    }
    void About(const std::string& title, const std::string& text) override { Asked.push_back(title + ": " + text); }
    bool AskFtpLogin(const std::string& host, std::string& user, std::string& password) override {
        Asked.push_back("login: " + host + " / " + user);
        if (Passwords.empty()) return false;
        password = Passwords.front();
        Passwords.erase(Passwords.begin());
        return true;
    }

    std::vector<std::string> Asked;
    std::vector<std::string> Passwords; // typed into the FTP login, one per attempt
    bool Answer = true;
    std::optional<std::string> Text;
};

// The window over the sandbox's data folder, as the program creates it, with scripted boxes.
struct TWindow {
    TWindow() {
        InstallDefaultRecords();
        LoadSettings();
        Window = std::make_unique<TfMain>();
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        Window->SetDialogs(std::move(dialogs));
        Window->show();
        Window->activateWindow();
        (void)QTest::qWaitForWindowActive(Window.get()); // key shortcuts need the active window
        Profiles = Window->findChild<QTreeView*>("ProfileList");
        Reports = Window->findChild<QTreeView*>("ReportList");
    }
    QAction* Action(const char* name) const { return Window->findChild<QAction*>(name); }
    QString Cell(QTreeView* list, int row, int column) const {
        return list->model()->index(row, column).data().toString();
    }
    QStringList Column(QTreeView* list, int column) const {
        QStringList cells;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            cells << Cell(list, row, column);
        return cells;
    }
    void Select(QTreeView* list, int row) const {
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    int SelectedRow(QTreeView* list) const {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    void ClickHeader(QTreeView* list, int column) const {
        QHeaderView* header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    }

    std::unique_ptr<TfMain> Window;
    TScriptedDialogs* Dialogs;
    QTreeView* Profiles;
    QTreeView* Reports;
};

void MakeProfile(TSandbox& sandbox, const std::string& name, const std::string& log,
                 const std::function<void(TQVProfile&)>& edit = nullptr) {
    sandbox.Folder.WriteFile("logs-" + name + "/access.log", log);
    TQVProfile profile;
    profile.InitNew();
    profile.SetName(name);
    profile.LogPaths = {sandbox.Folder.Path() + "logs-" + name + "/"};
    profile.AutoOpenReport = false;
    if (edit) edit(profile);
    QVERIFY(profile.Save());
}

// Record name as saved, read into a profile object of the test's own.
const TQVProfile& Record(const std::string& name) {
    static TQVProfile profile;
    profile.Load(name);
    return profile;
}

QString Day(double day) {
    return QString::fromStdString(FormatDateTime("c", day));
}

// Three profiles (one unreadable) and two archived reports of "alpha".
void MakeThreeProfiles(TSandbox& sandbox) {
    MakeProfile(sandbox, "alpha", "", [](TQVProfile& p) {
        p.EnableFilters = true;
        p.CreationDate = 45000;
        p.LastReportDate = 45100.75;
    });
    MakeProfile(sandbox, "beta", "", [](TQVProfile& p) {
        p.CreationDate = 45001;
        p.LastReportDate = 45200;
    });
    sandbox.Folder.WriteFile("data/Corvantis/Quorvel/profiles/Broken.xml", "<not a profile");
    const std::string reports = "data/Corvantis/Quorvel/reports/alpha/";
    sandbox.Folder.WriteFile(reports + "May/params.ini",
                             "[OPTS]\nCreationDate=45444\nStartDate=45413\nEndDate=45443\n");
    sandbox.Folder.WriteFile(reports + "No Start/params.ini", "[OPTS]\nCreationDate=45450\nEndDate=45449\n");
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CloseProgress(); }

    void ListsShowEveryProfileAndTheSelectedProfilesReports() {
        TSandbox sandbox;
        MakeThreeProfiles(sandbox);
        const std::string broken = sandbox.Folder.Path() + "data/Corvantis/Quorvel/profiles/Broken.xml";
        QVERIFY(fs::exists(broken)); // the store's folder, or the unreadable record is not tested
        TWindow w;
        QCOMPARE(w.Window->windowTitle(), QString("Quorvel Profiles Summary"));
        QCOMPARE(w.Window->findChild<QLabel*>("ReportsLabel")->text(),
                 QString("Archived reports for selected profile"));
        QVERIFY(w.Window->findChild<QToolBar*>("MainToolBar"));

        QStringList headers;
        for (int c = 0; c < 6; ++c)
            headers << w.Profiles->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers,
                 QStringList({"Profile Name", "Template used", "Filter", "FTP", "Creation date", "Last report"}));
        // Names by character code: the capital first. The unreadable record shows defaults.
        QCOMPARE(w.Column(w.Profiles, 0), QStringList({"Broken", "alpha", "beta"}));
        QCOMPARE(w.Column(w.Profiles, 2), QStringList({"OFF", "ON", "OFF"}));
        QCOMPARE(w.Column(w.Profiles, 5), QStringList({"None Yet", Day(45100), Day(45200)}));
        QCOMPARE(w.Cell(w.Profiles, 1, 4), Day(45000));
        QCOMPARE(w.Cell(w.Profiles, 0, 1), QString::fromStdString(Record("nothing").TemplateName));
        QCOMPARE(w.Profiles->model()->index(1, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

        QCOMPARE(w.SelectedRow(w.Profiles), 0); // the first profile is selected at start
        QCOMPARE(w.Reports->model()->rowCount(), 0);
        w.Select(w.Profiles, 1);
        QCOMPARE(w.Window->SelectedName(), std::string("alpha"));
        QCOMPARE(w.Column(w.Reports, 0), QStringList({"May", "No Start"}));
        QCOMPARE(w.Column(w.Reports, 1), QStringList({Day(45413), "N/A"}));
        QCOMPARE(w.Column(w.Reports, 2), QStringList({Day(45443), Day(45449)}));

        // Browsing and toggling another row never rewrites the unreadable record.
        w.Action("aToggleFTP")->trigger();
        QVERIFY(Record("alpha").FTPAutoFetch);
        w.Select(w.Profiles, 0);
        QCOMPARE(TTestFolder::ReadFile(broken), std::string("<not a profile"));
        w.Action("aToggleFilter")->trigger(); // refused on the unreadable row itself
        QCOMPARE(TTestFolder::ReadFile(broken), std::string("<not a profile"));
        QCOMPARE(w.Dialogs->Asked.size(), size_t(1));
    }

    void HeaderClicksSortByOurOrderAndTheStateIsKept() {
        TSandbox sandbox;
        MakeThreeProfiles(sandbox);
        {
            TWindow w;
            w.ClickHeader(w.Profiles, 5);
            QCOMPARE(w.Column(w.Profiles, 0), QStringList({"Broken", "alpha", "beta"}));
            w.ClickHeader(w.Profiles, 5);
            QCOMPARE(w.Column(w.Profiles, 0), QStringList({"beta", "alpha", "Broken"})); // most recent first
            QCOMPARE(GenSettings().ProfileSort, 5 + kSortDescending);
            QCOMPARE(w.Profiles->header()->sortIndicatorSection(), 5);
            QCOMPARE(w.Profiles->header()->sortIndicatorOrder(), Qt::DescendingOrder);
            QCOMPARE(w.Window->SelectedName(), std::string("Broken")); // the selection follows its row

            w.Select(w.Profiles, 1);
            w.ClickHeader(w.Reports, 1);
            QCOMPARE(w.Column(w.Reports, 0), QStringList({"No Start", "May"}));
            QCOMPARE(GenSettings().ReportSort, 1);
            QVERIFY(SaveSettings());
        }
        TWindow again; // the saved state orders the lists of the next start
        QCOMPARE(GenSettings().ProfileSort, 5 + kSortDescending);
        QCOMPARE(again.Column(again.Profiles, 0), QStringList({"beta", "alpha", "Broken"}));
        QCOMPARE(again.Profiles->header()->sortIndicatorSection(), 5);
        QCOMPARE(again.Reports->header()->sortIndicatorSection(), 1);
    }

    void ActionsOnProfilesFollowTheSelection() {
        TSandbox sandbox;
        MakeThreeProfiles(sandbox);
        TWindow w;
        const char* const profileActions[] = {"aReport",     "aEditProfile",  "aClearReports", "aCopyProfile",
                                              "aDelProfile", "aToggleFilter", "aToggleFTP"};
        w.Profiles->selectionModel()->clearSelection();
        for (const char* name : profileActions)
            QVERIFY2(!w.Action(name)->isEnabled(), name);
        QVERIFY(w.Action("aNewProfile")->isEnabled());
        w.Select(w.Profiles, 1);
        for (const char* name : profileActions)
            QVERIFY2(w.Action(name)->isEnabled(), name);
        QVERIFY(!w.Action("aOpenReport")->isEnabled() && !w.Action("aDelReport")->isEnabled());
        w.Select(w.Reports, 0);
        QVERIFY(w.Action("aOpenReport")->isEnabled() && w.Action("aDelReport")->isEnabled());
        w.Action("aOpenReport")->trigger(); // the planted report has no page
        QVERIFY(w.Dialogs->Asked.back().starts_with("message: Main html file not found"));

        // Ctrl+C on the list copies the profile; blanks make the default name.
        w.Dialogs->Text = "   ";
        w.Profiles->setFocus();
        QTest::keyClick(w.Profiles, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(w.Dialogs->Asked.back(), std::string("ask: Copy profile / New profile Name:"));
        QCOMPARE(w.Column(w.Profiles, 0), QStringList({"Broken", "alpha", "beta", "new_profile"}));
        QCOMPARE(Record("new_profile").LastReportDate, 0.0);
        QVERIFY(Record("new_profile").EnableFilters); // a copy of alpha
        QCOMPARE(w.Window->SelectedName(), std::string("alpha"));

        w.Action("aToggleFilter")->trigger();
        QVERIFY(!Record("alpha").EnableFilters);
        QCOMPARE(w.Cell(w.Profiles, 1, 2), QString("OFF"));

        // Del removes the record, keeps its reports and selects the same index, then the last row.
        QTest::keyClick(w.Profiles, Qt::Key_Delete);
        QCOMPARE(w.Dialogs->Asked.back(), std::string("confirm: Really delete alpha?"));
        QCOMPARE(w.Column(w.Profiles, 0), QStringList({"Broken", "beta", "new_profile"}));
        QCOMPARE(w.SelectedRow(w.Profiles), 1);
        QVERIFY(fs::exists(sandbox.Folder.Path() + "data/Corvantis/Quorvel/reports/alpha/May/params.ini"));
        w.Select(w.Profiles, 2);
        w.Action("aDelProfile")->trigger();
        QCOMPARE(w.SelectedRow(w.Profiles), 1);
        QCOMPARE(w.Window->SelectedName(), std::string("beta"));
        w.Dialogs->Answer = false;
        w.Action("aDelProfile")->trigger();
        QCOMPARE(w.Profiles->model()->rowCount(), 2);
    }

    void DeletingReportsNeverReachesOutsideTheReportFolder() {
        TSandbox sandbox;
        MakeProfile(sandbox, "site", "");
        const std::string reports = sandbox.Folder.Path() + "data/Corvantis/Quorvel/reports/site/";
        const std::string marker = sandbox.Folder.WriteFile("outside/marker.txt", "keep");
        sandbox.Folder.WriteFile("outside/params.ini", "[OPTS]\n");
        sandbox.Folder.WriteFile("data/Corvantis/Quorvel/reports/site/May/params.ini", "[OPTS]\n");
        fs::create_directory_symlink(sandbox.Folder.Path() + "outside", reports + "May/linked");
        fs::create_directory_symlink(sandbox.Folder.Path() + "outside", reports + "Evil");
        TWindow w;
        QCOMPARE(w.Column(w.Reports, 0), QStringList({"Evil", "May"}));

        // Del on the report list deletes the report, not the profile.
        w.Select(w.Reports, 0);
        w.Reports->setFocus();
        QTest::keyClick(w.Reports, Qt::Key_Delete);
        QCOMPARE(w.Dialogs->Asked.at(0), std::string("confirm: Are you sure you want to delete \"Evil\"?"));
        QVERIFY(w.Dialogs->Asked.at(1).starts_with("message: The report was not deleted"));
        QVERIFY(fs::exists(sandbox.Folder.Path() + "data/Corvantis/Quorvel/profiles/site.xml"));

        w.Action("aClearReports")->trigger();
        QVERIFY(!fs::exists(reports + "May"));
        QVERIFY(fs::is_symlink(reports + "Evil"));
        QCOMPARE(TTestFolder::ReadFile(marker), std::string("keep"));
        QCOMPARE(w.Column(w.Reports, 0), QStringList({"Evil"}));
    }

    void AReportRunsFromTheWindowAndIsStampedAndListed() {
        TSandbox sandbox;
        MakeProfile(sandbox, "site", MakeCombinedLog(400));
        TWindow w;
        QSignalSpy finished(w.Window.get(), &TfMain::ReportFinished);
        QTest::keyClick(w.Profiles, Qt::Key_Return);
        QVERIFY(w.Window->JobRunning());
        QVERIFY(IsProgressActive());
        QVERIFY(!w.Action("aReport")->isEnabled() && !w.Action("aDelProfile")->isEnabled());
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.at(0).at(0).toInt(), int(rsCompleted));
        QVERIFY(!IsProgressActive());
        QVERIFY(w.Action("aReport")->isEnabled());
        QCOMPARE(w.Reports->model()->rowCount(), 1);
        QCOMPARE(w.Cell(w.Profiles, 0, 5), Day(std::trunc(Now())));
        QVERIFY(w.Dialogs->Asked.empty());
    }

    // The logs come by FTP first: a refused login asks again, then the report is made of what
    // was fetched. Cancelling the login stops the run and stamps nothing.
    void AProfileWithAnFtpAccountFetchesItsLogsFirst() {
        TSandbox sandbox;
        sandbox.Folder.WriteFile("remote/logs/shop.log", MakeCombinedLog(300));
        TFtpServer server(sandbox.Folder.Path() + "server/", {sandbox.Folder.Path() + "remote/"});
        QVERIFY2(server.Running(), server.Error().c_str());
        const std::string local = sandbox.Folder.Path() + "logs-site/";
        MakeProfile(sandbox, "site", "", [&](TQVProfile& p) {
            p.FTPAutoFetch = true;
            p.FTPHost = "127.0.0.1";
            p.FTPPort = server.Port();
            p.FTPUsername = server.User();
            p.FTPSource = "/logs";
            p.FTPDest = local;
        });
        TWindow w;
        w.Dialogs->Passwords = {"wrong", server.Password()};
        QSignalSpy finished(w.Window.get(), &TfMain::ReportFinished);
        w.Action("aReport")->trigger();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.at(0).at(0).toInt(), int(rsCompleted));
        const std::string login = "login: 127.0.0.1 / " + server.User();
        QCOMPARE(std::count(w.Dialogs->Asked.begin(), w.Dialogs->Asked.end(), login), 2);
        QVERIFY(std::count(w.Dialogs->Asked.begin(), w.Dialogs->Asked.end(),
                           "message: Wrong login/password. Please try again.") == 1);
        QVERIFY(fs::file_size(local + "shop.log") > 10000);
        QCOMPARE(w.Reports->model()->rowCount(), 1);

        TQVProfile stamped;
        QVERIFY(stamped.Load("site"));
        stamped.LastReportDate = 40000;
        QVERIFY(stamped.Save());
        finished.clear();
        w.Action("aReport")->trigger();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toInt(), int(rsCancelled));
        QCOMPARE(Record("site").LastReportDate, 40000.0);
        QVERIFY(!IsProgressActive());
        QVERIFY(w.Action("aReport")->isEnabled());
    }

    void ClosingDuringAJobCancelsItAndStillStampsTheProfile() {
        TSandbox sandbox;
        MakeProfile(sandbox, "big", MakeCombinedLog(300000));
        TWindow w;
        QSignalSpy finished(w.Window.get(), &TfMain::ReportFinished);
        w.Action("aReport")->trigger();
        QTRY_VERIFY(IsProgressActive() && GetProgress().JobValue() > 0); // the job bar moves
        w.Window->close();
        QVERIFY(w.Window->isVisible()); // the job ends first
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0).at(0).toInt(), int(rsCancelled));
        QVERIFY(!w.Window->isVisible());
        QCOMPARE(std::trunc(Record("big").LastReportDate), std::trunc(Now()));
        QCOMPARE(w.Reports->model()->rowCount(), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainTest.moc"
