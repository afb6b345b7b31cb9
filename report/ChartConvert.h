#pragma once
// The chart conversion after the compile step: chart descriptions of the work folder
// become SVG files of the report folder through "chartsvg/chartsvg.xsl" (libxslt in
// process, or Java with Saxon when the program folder holds "saxon/saxon.jar").

#include "report/XsltHandles.h"
#include "sources/SpecialFolders.h"

#include <memory>
#include <string>
#include <vector>

// Every file of sourceFolder (a work folder's "charts/"): "*.xml" descriptions become
// targetFolder + base name + ".svg", other files are copied over same-named ones. A
// missing stylesheet or processor leaves the SVG file out; an existing SVG file stays.
// "tmp.svg" is made in the folder above sourceFolder. Returns the last non-zero exit
// status of the external processor, else 0. Each chart that did not reach targetFolder is
// listed in *errors (when given) with its file and the reason.
int ConvertCharts(const std::string& sourceFolder, const std::string& targetFolder,
                  const std::string& programFolder = ProgramFolder(), std::vector<std::string>* errors = nullptr);

// The external processor's command line for one description.
std::string SaxonCommandLine(const std::string& javaFolder, const std::string& programFolder, const std::string& input,
                             const std::string& output);
