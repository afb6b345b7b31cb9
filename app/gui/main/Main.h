#pragma once
// The main window: the profiles and, for the selected one, its archived reports, with every
// action on them; it starts report jobs and shows their progress.

#include "app/gui/bridge/QtBridge.h"
#include "app/gui/main/MainDialogs.h"

#include <QIcon>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QTreeView;
class TProfileListModel;
class TQVProfile;
class TReportJob;
class TReportListModel;
class TFtpFetch;

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfMain(QWidget* parent = nullptr);
    // Saves the DNS cache when it holds entries.
    ~TfMain() override;

    // The tips dialog, when the user wants it at start-up.
    void ShowStartupTips();
    // Starts the report of profile name; the window's event loop runs it, ReportFinished tells the end.
    void RunReport(const std::string& name);
    // A report job is running.
    bool JobRunning() const { return Job != nullptr; }
    // The name of the selected profile; empty when none is selected.
    const std::string& SelectedName() const { return SelectedProfile; }
    void SetDialogs(std::unique_ptr<TMainDialogs> dialogs) { Dialogs = std::move(dialogs); }

    // Shown before a report is made; false stops it. Unset: the report goes on.
    std::function<bool(TQVProfile&)> SettingsSummary;

    QAction* aNewProfile;
    QAction* aCopyProfile;
    QAction* aDelProfile;
    QAction* aExit;
    QAction* aEditProfile;
    QAction* aReport;
    QAction* aClearReports;
    QAction* aToggleFilter;
    QAction* aToggleFTP;
    QAction* aHelp;
    QAction* aTips;
    QAction* aOpenReport;
    QAction* aDelReport;
    QAction* aAbout;

signals:
    // A report run ended (or was refused) with a TRunStatus.
    void ReportFinished(int status);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateLists();
    QAction* MakeAction(const char* name, const QString& caption, const QString& icon, const QKeySequence& key = {});

    // Fills the profile list and selects the row at the same index, or the last row.
    void FillProfileList();
    // Reads the row of profile name again (or adds it) and keeps the order and the selection.
    void RefreshProfileRow(const std::string& name);
    void SelectProfileRow(int row);
    void ProfileSelected();
    void FillReportList();
    int SelectedProfileRow() const;
    int SelectedReportRow() const;
    void UpdateActions();
    void ProfileHeaderClicked(int column);
    void ReportHeaderClicked(int column);
    void ShowSortIndicators();

    void NewProfile();
    void EditProfile();
    void CopyProfile();
    void DeleteProfile();
    void ToggleFlag(bool TQVProfile::*flag);
    void ClearReports();
    void OpenReport();
    void DeleteReport();
    void ShowHelp();
    void ShowAbout();

    void StartJob();
    void FetchEnded(int status);
    // Ends a run before its job started: its refusal is shown and nothing is stamped.
    void StopRun(int status);
    void PollJob();
    void EndJob();

    std::unique_ptr<TMainDialogs> Dialogs;
    TProfileListModel* Profiles;
    TReportListModel* Reports;
    QTreeView* ProfileList;
    QTreeView* ReportList;
    QLabel* ReportsLabel;
    QMenu* ProfileMenu;
    QMenu* ReportMenu;
    QIcon FilterOnIcon, FilterOffIcon, FtpOnIcon, FtpOffIcon;
    std::string SelectedProfile;
    bool Filling = false; // the lists are being rebuilt: selection signals wait

    TQtDispatcher Dispatcher;
    std::unique_ptr<TReportJob> Job; // from Prepare to the end of the run
    std::unique_ptr<TFtpFetch> Fetch;
    bool JobStarted = false;
    std::string JobProfile;
    std::vector<std::string> JobMessages;
    QTimer* PollTimer;
    bool CloseWanted = false; // the window closes once the running job has ended
};
