#include "app/gui/main/Main.h"

#include "app/gui/ftp/FtpFetch.h"
#include "app/gui/main/ProfileDialogs.h"
#include "app/gui/main/ProfileListModel.h"
#include "app/gui/main/ReportListModel.h"
#include "app/gui/progress/u_progress.h"
#include "core/ReportRunner.h"
#include "profile/u_qvgensettings.h"
#include "profile/u_qvprofile.h"
#include "sources/BatchLookup.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "sources/SystemInfo.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <chrono>
#include <thread>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "1.00"
#endif

namespace {

const char kSelectFirst[] = "You must select a profile first.";
const char kNoMainFile[] = "Main html file not found in the report directory. There might have been problems during "
                           "this report's generation.";
const char kBlankReport[] = "The resulting report is blank. One of your settings must be wrong.";
const char kCancelled[] = "The report was cancelled.";

// An icon of the program's "icons/" folder; no icon when the file is missing.
QIcon ProgramIcon(const char* file) {
    const QString path = ToQString(ProgramFolder() + "icons/" + file);
    return QFileInfo::exists(path) ? QIcon(path) : QIcon();
}

QTreeView* MakeList(const char* name, QAbstractItemModel* model, QWidget* parent) {
    auto* list = new QTreeView(parent);
    list->setObjectName(name);
    list->setModel(model);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setSortingEnabled(false); // the rows are ordered by the sort state of the settings
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(true);
    list->header()->setStretchLastSection(true);
    list->header()->setMinimumSectionSize(70);
    return list;
}

void SetSortIndicator(QTreeView* list, int32_t sortState) {
    list->header()->setSortIndicator(SortColumn(sortState),
                                     SortDescending(sortState) ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool IsEnterKey(const QKeyEvent* key) {
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier;
}

} // namespace

TfMain::TfMain(QWidget* parent) : QMainWindow(parent), Dialogs(std::make_unique<TQtMainDialogs>(this)) {
    setObjectName("TfMain");
    setWindowTitle("Quorvel Profiles Summary");
    resize(900, 600);
    FilterOnIcon = ProgramIcon("filter-on.svg");
    FilterOffIcon = ProgramIcon("filter-off.svg");
    FtpOnIcon = ProgramIcon("ftp-on.svg");
    FtpOffIcon = ProgramIcon("ftp-off.svg");
    PollTimer = new QTimer(this);
    PollTimer->setInterval(50);
    connect(PollTimer, &QTimer::timeout, this, &TfMain::PollJob);

    CreateActions();
    CreateLists();
    CreateMenus();

    FillProfileList();
    ShowSortIndicators();
    for (int column = 0; column < Profiles->columnCount() - 1; ++column)
        ProfileList->resizeColumnToContents(column);
    ProfileList->setFocus();
}

TfMain::~TfMain() {
    // A fetch in progress is stopped and waited for before the progress window it reports to goes.
    Fetch.reset();
    if (Job) {
        // Only when the window is destroyed without being closed: the job's transform needs
        // this thread, so it is served until the cancelled job has ended.
        Job->Cancel();
        while (!Job->Finished()) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Job->Finish();
        Job.reset();
        CloseProgress();
    }
    if (BatchLookup().DnsEntryCount() > 0) BatchLookup().SaveDnsCache(DnsCacheFileName());
}

QAction* TfMain::MakeAction(const char* name, const QString& caption, const QString& icon, const QKeySequence& key) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!icon.isEmpty()) action->setIcon(ProgramIcon(icon.toUtf8().constData()));
    if (!key.isEmpty()) action->setShortcut(key);
    return action;
}

void TfMain::CreateActions() {
    aNewProfile = MakeAction("aNewProfile", "New profile", "new-profile.svg", QKeySequence("Ctrl+N"));
    aCopyProfile = MakeAction("aCopyProfile", "Copy Profile", "copy-profile.svg", QKeySequence("Ctrl+C"));
    aDelProfile = MakeAction("aDelProfile", "Delete Profile", "delete-profile.svg", QKeySequence(Qt::Key_Delete));
    aExit = MakeAction("aExit", "Exit", "exit.svg", QKeySequence("Ctrl+Q"));
    aEditProfile = MakeAction("aEditProfile", "Edit profile", "edit-profile.svg", QKeySequence("Ctrl+E"));
    aReport = MakeAction("aReport", "Generate Report", "report.svg", QKeySequence("Ctrl+R"));
    aClearReports = MakeAction("aClearReports", "Delete old reports for this profile", "clear-reports.svg",
                               QKeySequence("Ctrl+Del"));
    aToggleFilter = MakeAction("aToggleFilter", "Toggle Filter", {});
    aToggleFTP = MakeAction("aToggleFTP", "Toggle FTP", {});
    aHelp = MakeAction("aHelp", "Help", "help.svg", QKeySequence(Qt::Key_F1));
    aTips = MakeAction("aTips", "Quorvel Tips", "tips.svg");
    aOpenReport = MakeAction("aOpenReport", "Open Report", "open-report.svg");
    aDelReport = MakeAction("aDelReport", "Delete Report", "delete-report.svg");
    aAbout = MakeAction("aAbout", "About Quorvel", {});
    aToggleFilter->setIcon(FilterOffIcon);
    aToggleFTP->setIcon(FtpOffIcon);
    aEditProfile->setIconText("Edit");
    aReport->setIconText("Report");
    aToggleFilter->setIconText("Filter");
    aToggleFTP->setIconText("FTP");

    connect(aNewProfile, &QAction::triggered, this, &TfMain::NewProfile);
    connect(aCopyProfile, &QAction::triggered, this, &TfMain::CopyProfile);
    connect(aDelProfile, &QAction::triggered, this, &TfMain::DeleteProfile);
    connect(aExit, &QAction::triggered, this, &TfMain::close);
    connect(aEditProfile, &QAction::triggered, this, &TfMain::EditProfile);
    connect(aReport, &QAction::triggered, this, [this] {
        if (!SelectedProfile.empty()) RunReport(SelectedProfile);
    });
    connect(aClearReports, &QAction::triggered, this, &TfMain::ClearReports);
    connect(aToggleFilter, &QAction::triggered, this, [this] { ToggleFlag(&TQVProfile::EnableFilters); });
    connect(aToggleFTP, &QAction::triggered, this, [this] { ToggleFlag(&TQVProfile::FTPAutoFetch); });
    connect(aHelp, &QAction::triggered, this, &TfMain::ShowHelp);
    connect(aTips, &QAction::triggered, this, [this] { ShowTipsDialog(this, true); });
    connect(aOpenReport, &QAction::triggered, this, &TfMain::OpenReport);
    connect(aDelReport, &QAction::triggered, this, &TfMain::DeleteReport);
    connect(aAbout, &QAction::triggered, this, &TfMain::ShowAbout);
}

void TfMain::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("FileMenu");
    file->addActions({aNewProfile, aCopyProfile, aDelProfile});
    file->addSeparator();
    file->addAction(aExit);
    QMenu* profile = menuBar()->addMenu("&Profile");
    profile->setObjectName("ProfileMenu");
    profile->addActions({aEditProfile, aReport, aClearReports});
    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("HelpMenu");
    help->addActions({aHelp, aTips});
    help->addSeparator();
    help->addAction(aAbout);

    QToolBar* tools = addToolBar("Main");
    tools->setObjectName("MainToolBar");
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tools->setIconSize(QSize(32, 32));
    tools->addActions({aEditProfile, aReport});
    tools->addSeparator();
    tools->addActions({aToggleFilter, aToggleFTP});
    tools->addSeparator();
    tools->addActions({aHelp, aExit});

    ProfileMenu = new QMenu(this);
    ProfileMenu->setObjectName("ProfilePopup");
    ProfileMenu->addActions({aEditProfile, aReport, aClearReports});
    ProfileMenu->addSeparator();
    ProfileMenu->addActions({aCopyProfile, aDelProfile});
    ReportMenu = new QMenu(this);
    ReportMenu->setObjectName("ReportPopup");
    ReportMenu->addActions({aOpenReport, aDelReport});
}

void TfMain::CreateLists() {
    Profiles = new TProfileListModel(this);
    Profiles->RowIcon = ProgramIcon("profile-row.svg");
    Reports = new TReportListModel(this);
    Reports->RowIcon = ProgramIcon("report-row.svg");

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName("MainSplitter");
    ProfileList = MakeList("ProfileList", Profiles, splitter);
    auto* reportArea = new QWidget(splitter);
    auto* layout = new QVBoxLayout(reportArea);
    layout->setContentsMargins(0, 6, 0, 0);
    ReportsLabel = new QLabel("Archived reports for selected profile", reportArea);
    ReportsLabel->setObjectName("ReportsLabel");
    ReportList = MakeList("ReportList", Reports, reportArea);
    ReportsLabel->setBuddy(ReportList);
    layout->addWidget(ReportsLabel);
    layout->addWidget(ReportList);
    splitter->addWidget(ProfileList);
    splitter->addWidget(reportArea);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(splitter);
    ReportList->header()->resizeSection(0, 260);
    for (int column = 1; column < Reports->columnCount(); ++column)
        ReportList->header()->resizeSection(column, 130);

    connect(ProfileList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!Filling) ProfileSelected();
    });
    connect(ReportList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfMain::UpdateActions);
    connect(ProfileList, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && aReport->isEnabled()) aReport->trigger();
    });
    connect(ReportList, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && aOpenReport->isEnabled()) aOpenReport->trigger();
    });
    // A right click selects the row under the mouse, then shows the list's pop-up.
    auto popUp = [this](QTreeView* list, QMenu* TfMain::*menu) {
        connect(list, &QWidget::customContextMenuRequested, this, [this, list, menu](const QPoint& pos) {
            const QModelIndex index = list->indexAt(pos);
            if (index.isValid())
                list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
            (this->*menu)->popup(list->viewport()->mapToGlobal(pos));
        });
        list->installEventFilter(this);
    };
    popUp(ProfileList, &TfMain::ProfileMenu);
    popUp(ReportList, &TfMain::ReportMenu);
    connect(ProfileList->header(), &QHeaderView::sectionClicked, this, &TfMain::ProfileHeaderClicked);
    connect(ReportList->header(), &QHeaderView::sectionClicked, this, &TfMain::ReportHeaderClicked);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == ProfileList || watched == ReportList) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        QAction* action = nullptr;
        if (IsEnterKey(key))
            action = watched == ProfileList ? aReport : aOpenReport;
        else if (watched == ProfileList && key->keyCombination() == aCopyProfile->shortcut()[0])
            action = aCopyProfile; // the list would copy its cell otherwise
        if (action) {
            if (action->isEnabled()) action->trigger();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfMain::ShowStartupTips() {
    ShowTipsDialog(this, false);
}

// ---- The lists

int TfMain::SelectedProfileRow() const {
    const QModelIndexList rows = ProfileList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int TfMain::SelectedReportRow() const {
    const QModelIndexList rows = ReportList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TfMain::FillProfileList() {
    const int remembered = std::max(SelectedProfileRow(), 0);
    Filling = true;
    Profiles->SetRows(ListProfileHeaders(), GenSettings().ProfileSort);
    Filling = false;
    SelectProfileRow(std::min(remembered, Profiles->rowCount() - 1));
}

void TfMain::RefreshProfileRow(const std::string& name) {
    const std::string selected = SelectedProfile;
    Filling = true;
    Profiles->SetRow(ReadProfileHeader(name));
    Profiles->Sort(GenSettings().ProfileSort);
    Filling = false;
    SelectProfileRow(Profiles->FindRow(selected));
}

void TfMain::SelectProfileRow(int row) {
    Filling = true;
    if (row >= 0)
        ProfileList->selectionModel()->setCurrentIndex(Profiles->index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        ProfileList->selectionModel()->clearSelection();
    Filling = false;
    ProfileSelected();
}

void TfMain::ProfileSelected() {
    const int row = SelectedProfileRow();
    SelectedProfile = row >= 0 ? Profiles->Row(row).ProfileName : std::string();
    const bool filterOn = row >= 0 && Profiles->Row(row).FilterOn;
    const bool ftpOn = row >= 0 && Profiles->Row(row).FtpOn;
    aToggleFilter->setIcon(filterOn ? FilterOnIcon : FilterOffIcon);
    aToggleFTP->setIcon(ftpOn ? FtpOnIcon : FtpOffIcon);
    FillReportList();
}

void TfMain::FillReportList() {
    const int row = SelectedProfileRow();
    Reports->SetRows(row >= 0 ? ListReportHeaders(Profiles->Row(row).ReportFolder) : std::vector<TReportHeader>(),
                     GenSettings().ReportSort);
    UpdateActions();
}

void TfMain::UpdateActions() {
    const bool idle = !Job;
    const bool profile = SelectedProfileRow() >= 0;
    const bool report = profile && SelectedReportRow() >= 0;
    aNewProfile->setEnabled(idle);
    for (QAction* action : {aReport, aEditProfile, aClearReports, aCopyProfile, aDelProfile, aToggleFilter, aToggleFTP})
        action->setEnabled(idle && profile);
    aOpenReport->setEnabled(report);
    aDelReport->setEnabled(idle && report);
}

void TfMain::ShowSortIndicators() {
    SetSortIndicator(ProfileList, GenSettings().ProfileSort);
    SetSortIndicator(ReportList, GenSettings().ReportSort);
}

void TfMain::ProfileHeaderClicked(int column) {
    GenSettings().ProfileSort = NextSortState(GenSettings().ProfileSort, column);
    ShowSortIndicators();
    const std::string selected = SelectedProfile;
    Filling = true;
    Profiles->Sort(GenSettings().ProfileSort);
    Filling = false;
    SelectProfileRow(Profiles->FindRow(selected));
}

void TfMain::ReportHeaderClicked(int column) {
    GenSettings().ReportSort = NextSortState(GenSettings().ReportSort, column);
    ShowSortIndicators();
    const int row = SelectedReportRow();
    const std::string selected = row >= 0 ? Reports->Row(row).FolderName : std::string();
    Reports->Sort(GenSettings().ReportSort);
    for (int i = 0; i < Reports->rowCount(); ++i)
        if (!selected.empty() && Reports->Row(i).FolderName == selected)
            ReportList->selectionModel()->setCurrentIndex(Reports->index(i, 0), QItemSelectionModel::ClearAndSelect |
                                                                                    QItemSelectionModel::Rows);
    UpdateActions();
}

// ---- Actions on profiles

void TfMain::NewProfile() {
    const std::string name = RunNewProfileDialog(this);
    if (!name.empty()) RefreshProfileRow(name);
}

void TfMain::EditProfile() {
    if (SelectedProfile.empty()) return;
    RunEditProfileDialog(this, SelectedProfile);
    FillProfileList();
}

void TfMain::CopyProfile() {
    if (SelectedProfile.empty()) return Dialogs->Message(kSelectFirst);
    const std::optional<std::string> text = Dialogs->AskText("Copy profile", "New profile Name:");
    if (!text) return;
    TQVProfile& profile = CurrentProfile();
    if (!profile.CopyFrom(SelectedProfile))
        return Dialogs->Message("The profile \"" + SelectedProfile + "\" cannot be read, so it was not copied.");
    profile.SetName(*text);
    profile.LastReportDate = 0;
    std::string error;
    if (!profile.Save(&error)) return Dialogs->Message("The copy could not be saved: " + error);
    RefreshProfileRow(profile.Name);
}

void TfMain::DeleteProfile() {
    if (ReportList->hasFocus()) return DeleteReport();
    if (SelectedProfile.empty()) return Dialogs->Message(kSelectFirst);
    if (!Dialogs->Confirm("Really delete " + SelectedProfile + "?")) return;
    CurrentProfile().Delete(SelectedProfile);
    FillProfileList();
}

void TfMain::ToggleFlag(bool TQVProfile::*flag) {
    if (SelectedProfile.empty()) return;
    const std::string name = SelectedProfile;
    TQVProfile& profile = CurrentProfile();
    // A record that cannot be read keeps its file: saving defaults over it would lose it.
    if (!profile.Load(name))
        return Dialogs->Message("The profile \"" + name + "\" cannot be read, so it was left as it is.");
    profile.*flag = !(profile.*flag);
    std::string error;
    if (!profile.Save(&error)) Dialogs->Message("The profile could not be saved: " + error);
    RefreshProfileRow(name);
}

// ---- Actions on reports

void TfMain::ClearReports() {
    const int row = SelectedProfileRow();
    if (row < 0 || !Dialogs->Confirm("Are you sure you want to delete all old reports for this profile?")) return;
    const std::string base = Profiles->Row(row).ReportFolder;
    std::string failures;
    for (int i = 0; i < Reports->rowCount(); ++i) {
        std::string error;
        if (!DeleteReportFolder(base, Reports->Row(i).FolderName, &error)) failures += "\n" + error;
    }
    FillReportList();
    if (!failures.empty()) Dialogs->Message("Some reports were not deleted:" + failures);
}

void TfMain::OpenReport() {
    const int profileRow = SelectedProfileRow();
    const int reportRow = SelectedReportRow();
    if (profileRow < 0 || reportRow < 0) return;
    const TReportHeader& report = Reports->Row(reportRow);
    const std::string file =
        FromQString(QFileInfo(ToQString(EnsureTrailingSeparator(Profiles->Row(profileRow).ReportFolder) +
                                        report.FolderName + "/" + report.DefaultFile))
                        .absoluteFilePath());
    if (!FileExists(file)) return Dialogs->Message(kNoMainFile);
    if (!OpenInDesktop(file)) Dialogs->Message("No program could be started to show " + file + ".");
}

void TfMain::DeleteReport() {
    const int profileRow = SelectedProfileRow();
    const int reportRow = SelectedReportRow();
    if (profileRow < 0 || reportRow < 0 || Job) return;
    const std::string name = Reports->Row(reportRow).FolderName;
    if (!Dialogs->Confirm("Are you sure you want to delete \"" + name + "\"?")) return;
    std::string error;
    if (!DeleteReportFolder(Profiles->Row(profileRow).ReportFolder, name, &error))
        return Dialogs->Message("The report was not deleted: " + error);
    Reports->RemoveRow(reportRow);
    UpdateActions();
}

// ---- Help

void TfMain::ShowHelp() {
    const std::string folder = ProgramFolder() + "help/html/";
    if (!FileExists(folder + "index.htm"))
        return Dialogs->Message("The help pages are missing: " + folder +
                                "index.htm was not found. Installing "
                                "Quorvel again brings them back.");
    if (!OpenHelpTopic("index.htm"))
        Dialogs->Message("No web browser could be started to show " + folder + "index.htm.");
}

void TfMain::ShowAbout() {
    std::string version = FileVersionString(FromQString(QCoreApplication::applicationFilePath()));
    if (version.empty()) version = QUORVEL_VERSION;
    Dialogs->About("About Quorvel", "Quorvel\nVersion: " + version +
                                        "\n\nThere are many external contributors to this program please look at "
                                        "the \"Credits\" section of the help file for more info.");
}

// ---- Report jobs

void TfMain::RunReport(const std::string& name) {
    if (Job) return;
    JobMessages.clear();
    JobStarted = false;
    TfProgress& progress = GetProgress(this);
    Job = std::make_unique<TReportJob>(progress, Dispatcher,
                                       [this](const std::string& text) { JobMessages.push_back(text); });
    JobProfile = name;
    UpdateActions();
    if (!Job->Prepare(name, false)) return StopRun(Job->Result().Status);
    TQVProfile& profile = Job->Profile();
    if (SettingsSummary && !SettingsSummary(profile)) return StopRun(rsCancelled);
    if (!profile.FTPAutoFetch) return StartJob();
    // The logs are fetched first; the prepared job keeps the profile meanwhile.
    Fetch = std::make_unique<TFtpFetch>(
        FtpSettingsOf(profile), profile.FTPUsername, profile.AnimNo, progress,
        [this](const std::string& host, std::string& user, std::string& password) {
            return Dialogs->AskFtpLogin(host, user, password);
        },
        [this](const std::string& text) { Dialogs->Message(text); });
    connect(Fetch.get(), &TFtpFetch::Finished, this, &TfMain::FetchEnded, Qt::QueuedConnection);
    Fetch->Start();
}

void TfMain::FetchEnded(int status) {
    Fetch.reset();
    if (status == FetchOk) return StartJob();
    StopRun(status == FetchCancelled ? rsCancelled : rsFetchFailed);
}

void TfMain::StartJob() {
    JobStarted = true;
    Job->Start(); // names the profile and the three jobs in the progress window
    PollTimer->start();
}

void TfMain::StopRun(int status) {
    Job.reset();
    CloseProgress();
    for (const std::string& text : JobMessages)
        Dialogs->Message(text);
    UpdateActions();
    emit ReportFinished(status);
    if (CloseWanted) close();
}

void TfMain::PollJob() {
    if (!Job || !JobStarted) return PollTimer->stop();
    if (IsProgressActive() && GetProgress().CancelRequested()) Job->Cancel();
    if (Job->Finished()) EndJob();
}

void TfMain::EndJob() {
    PollTimer->stop();
    const TRunReportResult result = Job->Finish(); // stamps and saves the profile
    Job.reset();
    RefreshProfileRow(JobProfile);
    CloseProgress();
    UpdateActions();

    std::string messages;
    for (const std::string& text : JobMessages) {
        // The blank report gets its own question, a cancel was the user's.
        if (text.starts_with(kBlankReport) || text == kCancelled) continue;
        messages += (messages.empty() ? "" : "\n") + text;
    }
    if (!messages.empty()) Dialogs->Message(messages);
    if (result.Status == rsNoData &&
        Dialogs->Confirm(std::string(kBlankReport) + " Do you want some help to fix this?") &&
        !OpenHelpTopic("support.htm"))
        Dialogs->Message("The help page " + ProgramFolder() + "help/html/support.htm could not be shown.");
    if (result.OpenWanted && !OpenInDesktop(result.StartPage))
        Dialogs->Message("No program could be started to show " + result.StartPage + ".");
    emit ReportFinished(result.Status);
    if (CloseWanted) close();
}

// ---- Window

void TfMain::closeEvent(QCloseEvent* event) {
    if (Job) {
        // The job ends first; EndJob closes the window then.
        CloseWanted = true;
        Job->Cancel();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TfMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A job's progress window stays in front of the window it belongs to.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && IsProgressActive()) {
        GetProgress().raise();
        GetProgress().activateWindow();
    }
}
