#pragma once
// The folder of one report: emptying it and the work folder, filling both from the report
// template and the shared stylesheets, the XSL transform of the work folder's XML files
// into HTML pages, the dates in the report's "params.ini", and opening the finished report.

#include "report/XsltHandles.h"
#include "sources/DateTime.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Template files kept out of the report folder, at every level of the template.
inline constexpr std::string_view kTemplateExcludedFiles = "main.xsl;toc.xsl;";
// Used when a report name would not name a folder of its own inside the base folder.
inline constexpr std::string_view kFallbackReportName = "Default Report";

// ProgramFolder() + "templates/" + templateName + "/"; "" when the name is not one plain
// folder name (empty, ".", "..", or holding a "/"), which could lead out of the templates folder.
std::string ReportTemplateFolder(std::string_view templateName);
// Whether templateFolder holds the page stylesheets "main.xsl" and "toc.xsl".
bool HasPageStylesheets(const std::string& templateFolder);
// ProgramFolder() + "xsllib/": stylesheets shared by every template.
std::string StylesheetLibraryFolder();
// baseFolder + reportName + "/". "/" in the name becomes "-"; an empty name, "." or ".."
// (which would make the base folder or its parent the report folder, emptied on every
// run) becomes kFallbackReportName.
std::string ReportFolderPath(std::string_view baseFolder, std::string_view reportName);

// Empties reportFolder (when it exists) and workFolder (created when missing), copies the
// template into reportFolder without kTemplateExcludedFiles, then the "*.xsl" files of the
// template and of the library into workFolder, a library file replacing a template file of
// the same name. Goes on past a failure; false when anything could not be copied, with the
// file and the reason in *error.
bool PrepareReportFolders(const std::string& reportFolder, const std::string& workFolder,
                          const std::string& templateFolder, const std::string& libraryFolder,
                          std::string* error = nullptr);

// Transforms xmlFile with the stylesheet xslFile and writes the result to outputFile
// (replaced only when the transform succeeds). params holds blank-separated name=value
// pairs handed to the stylesheet as literal strings. The input may not load anything from
// the network nor carry a document type declaration; the stylesheet may not use the
// network, read documents outside xmlFile's folder, write files outside outputFile's folder,
// nor take more than a bounded number of XPath steps. Returns false with the reason in
// *error (when given). Safe to call from any thread; calls are serialised.
bool TransformFile(const std::string& xmlFile, const std::string& xslFile, const std::string& outputFile,
                   std::string_view params, std::string* error = nullptr);

// A page of the report that was not made.
struct TPageFailure {
    std::string XmlFile; // name of the section file in the work folder
    std::string Error;
};

// Transforms every "*.xml" file of workFolder, in name order, into reportFolder + its name
// without the last extension + ".htm": "TOC.xml" (any case) with "toc.xsl", the others with
// "main.xsl", both taken from workFolder. A failed page is left out and listed in the
// result; the other pages are still made.
std::vector<TPageFailure> TransformReport(const std::string& workFolder, const std::string& reportFolder);
// The same page by page: the section files of workFolder in the order they are made, and the
// page of one of them (true, or false with the failure).
std::vector<std::string> ReportPageSources(const std::string& workFolder);
bool TransformReportPage(const std::string& workFolder, const std::string& reportFolder, const std::string& xmlFile,
                         TPageFailure* failure);

// Sets CreationDate, StartDate and EndDate (whole day numbers) in section OPTS of
// reportFolder's "params.ini", keeping everything else in it; creates the file when it is
// missing. The file is replaced in one step. False when it could not be read or written.
bool WriteReportDates(const std::string& reportFolder, TDateTime creationDate, TDateTime startDate, TDateTime endDate);

// The page to show: reportFolder + its DefaultFile when that file exists, else the folder.
std::string ReportStartPage(const std::string& reportFolder);
// Shows ReportStartPage with xdg-open; false when that failed.
bool OpenReport(const std::string& reportFolder);
