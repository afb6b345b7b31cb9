#include "core/ReportRunner.h"

#include "core/Progress.h"
#include "core/u_analysethread.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/ReportFolder.h"
#include "report/StatisticsCompiler.h"
#include "sources/BatchLookup.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace {

// path made absolute and normal, without a trailing "/" (but "/" itself).
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    std::string text = std::filesystem::absolute(path, error).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

TReportJob::TReportJob(TProgress& progress, TUserInterfaceDispatcher& dispatcher, TMessage message)
    : Progress(progress), Dispatcher(dispatcher), Message(std::move(message)) {
}

TReportJob::~TReportJob() {
    if (Job && !Job->Finished()) Job->Terminate();
    Job.reset(); // waits for the worker, which may still read the links
    if (!LinkFolder.empty()) EmptyFolder(LinkFolder, true);
}

bool TReportJob::Refuse(int status, const std::string& text) {
    Message(text);
    Outcome.Status = status;
    return false;
}

TQVProfile& TReportJob::Profile() const {
    return CurrentProfile();
}

bool TReportJob::Prepare(std::string_view profileName, bool unattended) {
    Unattended = unattended;
    Outcome = TRunReportResult();
    TQVProfile& profile = CurrentProfile();
    if (!profile.Load(profileName)) return Refuse(rsInvalidProfile, "Invalid profile name.");
    // One run of a profile at a time: a second one waits for nothing and touches nothing.
    std::string lockError;
    int holder = 0;
    if (!Lock.TryLock(profile.Name, &holder, &lockError)) return Refuse(holder >= 0 ? rsBusy : rsFailed, lockError);
    if (!CheckTemplateAndLanguage(profile)) return false;
    Prepared = true;
    return true;
}

bool TReportJob::CheckTemplateAndLanguage(const TQVProfile& profile) {
    const std::string templateFolder = ReportTemplateFolder(profile.TemplateName);
    if (!DirectoryExists(templateFolder))
        return Refuse(rsMissingTemplate, "The template selected for this profile doesn't exist, please select a valid "
                                         "template in Options-->Reports.");
    if (!HasPageStylesheets(templateFolder))
        return Refuse(rsMissingTemplate, "The template \"" + profile.TemplateName + "\" in " + templateFolder +
                                             " has no main.xsl and toc.xsl, please select a valid template in "
                                             "Options-->Reports.");
    if (TrimView(profile.ReportLanguage).empty())
        return Refuse(rsNoLanguage,
                      "You have no report language selected. Please select a language in Options-->Reports.");
    if (TCLangReader language;
        !language.Load(profile.ReportLanguage) || language.LineCount() < TStatisticsCompiler::kRequiredLines)
        return Refuse(rsNoLanguage, "The report language \"" + profile.ReportLanguage +
                                        "\" cannot be read or is incomplete. Please select a language in "
                                        "Options-->Reports.");
    return true;
}

std::string TReportJob::NamedPaths(std::string text) const {
    for (const auto& [link, file] : Links)
        for (size_t at = text.find(link); at != std::string::npos; at = text.find(link, at + file.size()))
            text.replace(at, link.size(), file);
    return text;
}

bool TReportJob::PrepareOneOff(const TOneOffReport& report) {
    Unattended = OneOff = true;
    Outcome = TRunReportResult();
    TQVProfile& profile = CurrentProfile();
    profile.InitNew();
    profile.AutoOpenReport = false;
    profile.LogPaths.clear();
    profile.LogReader.StandardInput = false;
    // The report's heading names what was read: the first log, or the report's own folder.
    const std::string named = !report.ReportFolder.empty() ? report.ReportFolder
                              : report.LogPaths.empty()    ? std::string("-")
                                                           : report.LogPaths.front();
    profile.Name = named == "-" ? "Standard input" : ExtractFileName(AbsolutePath(named));
    if (profile.Name.empty()) profile.Name = "Logs"; // the root folder
    // Folders are read as a profile reads them, files through a link each in a folder of its
    // own: the logs are read in the order they were named.
    for (const std::string& path : report.LogPaths) {
        std::error_code error;
        if (path == "-") {
            profile.LogReader.StandardInput = true;
        } else if (std::filesystem::is_directory(path, error)) {
            profile.LogPaths.push_back(AbsolutePath(path) + "/");
        } else {
            if (LinkFolder.empty()) LinkFolder = MakePrivateTempFolder("links");
            if (LinkFolder.empty())
                return Refuse(rsFailed, "No private temporary folder can be made in " + TempFolder());
            const std::string file = AbsolutePath(path);
            const std::string folder = LinkFolder + std::to_string(Links.size() + 1) + "/";
            // The name keeps its extension, which tells an archive; a leading "." would hide it.
            std::string name = ExtractFileName(file);
            if (name.starts_with('.')) name.insert(0, "_");
            if (mkdir(folder.c_str(), 0700) != 0 || symlink(file.c_str(), (folder + name).c_str()) != 0)
                return Refuse(rsFailed, "The log " + file + " cannot be linked to: " + std::strerror(errno));
            Links.emplace_back(folder + name, file);
            profile.LogPaths.push_back(folder);
        }
    }
    if (report.LogFormat.empty()) {
        profile.OpenLogFiles();
        profile.LogReader.PeekStandardInput();
        DetectLogFormat(&profile.LogReader, profile.CaseSensitive, profile.LogFormat);
        if (profile.LogFormat.empty()) {
            for (const std::string& warning : profile.LogReader.Warnings)
                Message(NamedPaths(warning));
            const std::string line = profile.LogReader.CurrentLine;
            profile.LogReader.ClearLogFiles();
            if (line.empty()) return Refuse(rsNoData, "The logs hold no line to read.");
            return Refuse(rsNoData, "None of the known log formats fits the first line of the logs (\"" +
                                        line.substr(0, 200) + "\"); name the log's format with --format.");
        }
    } else {
        profile.LogFormat = report.LogFormat;
    }
    if (report.ReportFolder.empty()) {
        std::error_code error;
        OneOffBase = EnsureTrailingSeparator(std::filesystem::current_path(error).string());
        if (error) return Refuse(rsFailed, "The current folder cannot be read: " + error.message());
    } else {
        OneOffFolder = AbsolutePath(report.ReportFolder);
        if (OneOffFolder == "/") return Refuse(rsFailed, "The report cannot take the place of the root folder.");
        OneOffFolder += "/";
    }
    if (!CheckTemplateAndLanguage(profile)) return false;
    Prepared = true;
    return true;
}

void TReportJob::Start() {
    if (!Prepared || Job) return;
    TQVProfile& profile = CurrentProfile();
    // What killed runs left behind: their work folders and unfinished reports.
    RemoveStalePrivateFolders();
    if (profile.UseDNS && BatchLookup().DnsEntryCount() == 0) BatchLookup().LoadDnsCache(DnsCacheFileName());

    Progress.SetProfileCaption(profile.Name);
    Progress.SetJobs(3, profile.AnimNo, true);
    Job = std::make_unique<TAnalyseThread>(profile, Progress, Dispatcher);
    Job->FromCommandLine = Unattended;
    Job->ReportBase = OneOffBase;
    Job->FixedReportFolder = OneOffFolder;
    Job->Export = Export;
    Job->Start();
}

bool TReportJob::Finished() const {
    return !Job || Job->Finished();
}

void TReportJob::Cancel() {
    Progress.RequestCancel();
}

TRunReportResult TReportJob::Finish() {
    if (!Job) {
        // Prepared but never started: nothing ran, nothing is stamped.
        if (Prepared) Outcome.Status = rsCancelled;
        return Outcome;
    }
    const int code = Job->WaitFor();
    for (const std::string& note : Job->Messages())
        Message(NamedPaths(note));
    switch (code) {
    case jrCompleted:
        Outcome.Status = rsCompleted;
        Outcome.ReportFolder = Job->ReportPath;
        Outcome.StartPage = ReportStartPage(Job->ReportPath);
        Outcome.OpenWanted = !Unattended && CurrentProfile().AutoOpenReport;
        break;
    case jrNoData:
        Message("The resulting report is blank. One of your settings must be wrong.");
        Outcome.Status = rsNoData;
        break;
    case jrCancelled:
        Message("The report was cancelled.");
        Outcome.Status = rsCancelled;
        break;
    default:
        Outcome.Status = rsFailed;
        break;
    }
    Job.reset();
    Prepared = false;
    if (OneOff) return Outcome; // a one-off profile is kept nowhere
    // Stamped whatever the result, as the profile list shows it.
    TQVProfile& profile = CurrentProfile();
    profile.LastReportDate = Now();
    std::string error;
    if (!profile.Save(&error)) Message("The profile could not be saved: " + error);
    return Outcome;
}

TFtpSettings FtpSettingsOf(const TQVProfile& profile) {
    TFtpSettings settings;
    settings.Host = profile.FTPHost;
    settings.Port = profile.FTPPort > 0 && profile.FTPPort <= 65535 ? profile.FTPPort : 21;
    settings.Source = profile.FTPSource;
    settings.Dest = profile.FTPDest;
    settings.OpenExt = profile.OpenExt;
    settings.LogExts = profile.LogExts;
    return settings;
}

int FetchLogsWithNetrc(const TQVProfile& profile, TProgress& progress, const TReportJob::TMessage& message,
                       const std::function<void()>& waitStep) {
    progress.SetProfileCaption(profile.Name);
    progress.SetJobs(2, profile.AnimNo, true);
    TFTPDLThread fetch(FtpSettingsOf(profile), progress);
    fetch.User = profile.FTPUsername;
    fetch.UseNetrc = true;
    fetch.Start();
    while (!fetch.Finished()) {
        if (waitStep) waitStep();
        if (progress.CancelRequested()) fetch.Terminate();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string problem = fetch.Problem();
    switch (fetch.Status()) {
    case FetchConnectFailed:
        message("Quorvel couldn't connect to your FTP server. Please verify that your ftp settings are correct.");
        if (!problem.empty()) message(problem);
        return rsFetchFailed;
    case FetchLoginFailed:
        message("Wrong login/password. Please try again.");
        return rsFetchFailed;
    case FetchCancelled:
        return rsCancelled;
    default:
        // Without a netrc login, or after a download that failed: the local files are reported.
        if (!problem.empty()) message(problem);
        return rsCompleted;
    }
}

TRunReportResult RunReport(std::string_view profileName, bool unattended, TProgress& progress,
                           TUserInterfaceDispatcher& dispatcher, const TReportJob::TMessage& message,
                           const std::function<void()>& waitStep, const TStatsExportTargets& exportTargets) {
    TReportJob job(progress, dispatcher, message);
    if (!job.Prepare(profileName, unattended)) return job.Result();
    job.Export = exportTargets;
    if (unattended && job.Profile().FTPAutoFetch) {
        // No dialog here: the login comes from ~/.netrc. A report that must not start is not
        // stamped either.
        const int fetched = FetchLogsWithNetrc(job.Profile(), progress, message, waitStep);
        if (fetched != rsCompleted) {
            TRunReportResult result;
            result.Status = fetched;
            return result;
        }
    }
    job.Start();
    while (!job.Finished()) {
        if (waitStep) waitStep();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    TRunReportResult result = job.Finish();
    if (result.OpenWanted) OpenReport(result.ReportFolder);
    return result;
}

TRunReportResult RunOneOffReport(const TOneOffReport& report, TProgress& progress, TUserInterfaceDispatcher& dispatcher,
                                 const TReportJob::TMessage& message, const std::function<void()>& waitStep,
                                 const TStatsExportTargets& exportTargets) {
    TReportJob job(progress, dispatcher, message);
    if (!job.PrepareOneOff(report)) return job.Result();
    job.Export = exportTargets;
    job.Start();
    while (!job.Finished()) {
        if (waitStep) waitStep();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return job.Finish();
}
