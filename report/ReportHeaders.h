#pragma once
// What the main window lists besides the profiles: the archived reports in a report base
// folder with the dates of their "params.ini", the usable report templates and the report
// languages.

#include "sources/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

struct TReportHeader {
    std::string FolderName;
    std::string DefaultFile = "index.htm";
    // Whole day numbers from "params.ini"; 0 when missing or not a number.
    TDateTime CreationDate = 0;
    TDateTime StartDate = 0;
    TDateTime EndDate = 0;
};

// The names of the archived reports in baseFolder: sub-folders holding a "params.ini", in
// name order. Hidden folders (a run's unfinished report among them) are never listed.
std::vector<std::string> ListReportFolders(const std::string& baseFolder);
// The header of report folderName in baseFolder, from section OPTS of its "params.ini";
// "index.htm" and 0 for what is missing or unreadable.
TReportHeader ReadReportHeader(const std::string& baseFolder, const std::string& folderName);
// The headers of ListReportFolders(baseFolder), in that order.
std::vector<TReportHeader> ListReportHeaders(const std::string& baseFolder);

// Deletes the report folder folderName in baseFolder with everything in it. Refuses (false,
// with the reason in *error) a name that is empty, ".", "..", holds "/" or is absolute, and a
// folder that is a symbolic link; links inside are removed, never followed.
bool DeleteReportFolder(const std::string& baseFolder, const std::string& folderName, std::string* error);

// Order of two report rows by columns 0-3 (folder name, start, end, creation date) for a
// sort state of the general settings: <0 when a comes first, 0 when they tie (and for any
// other column).
int CompareReportHeaders(const TReportHeader& a, const TReportHeader& b, int32_t sortState);
// A std::sort order of report rows for a sort state.
struct TReportHeaderOrder {
    int32_t SortState = 0;
    bool operator()(const TReportHeader& a, const TReportHeader& b) const {
        return CompareReportHeaders(a, b, SortState) < 0;
    }
};

// The names of the folders of the program's "templates/" that hold "main.xsl" and "toc.xsl",
// sorted.
std::vector<std::string> ListTemplates();
// The names of the program's report languages (see TCLangReader), sorted.
std::vector<std::string> ListReportLanguages();
