#include "report/ReportFolder.h"

#include "sources/CUtils.h"
#include "sources/ExternalPrograms.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "sources/XmlHandles.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using TStylesheetPtr = TXsltStylesheetPtr;
using TTransformContextPtr = TXsltTransformContextPtr;
using TSecurityPrefsPtr = TXsltSecurityPrefsPtr;

// No network, no external entities or DTDs loaded, entities left unexpanded.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA;
constexpr size_t kMaxErrorText = 2000;
// XPath steps one page may take: many times what the largest report needs, a few seconds.
constexpr unsigned long kMaxXPathOperations = 50'000'000;

std::mutex TransformLock;

// Messages of libxml2 and libxslt while one transform runs.
struct TErrorLog {
    std::string Text;
    void Add(std::string_view message) {
        const std::string line = Trim(message);
        if (line.empty() || Text.size() >= kMaxErrorText) return;
        if (!Text.empty()) Text += "; ";
        Text += line;
        if (Text.size() > kMaxErrorText) Text.resize(kMaxErrorText);
    }
};

void CollectFormatted(void* log, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    static_cast<TErrorLog*>(log)->Add(buffer);
}

void CollectStructured(void* log, xmlErrorPtr error) {
    if (error && error->message) static_cast<TErrorLog*>(log)->Add(error->message);
}

// Routes the libraries' messages into a log while alive, restoring the previous handlers.
class TErrorCapture {
public:
    explicit TErrorCapture(TErrorLog& log)
        : OldStructured(xmlStructuredError), OldStructuredContext(xmlStructuredErrorContext),
          OldGeneric(xmlGenericError), OldGenericContext(xmlGenericErrorContext), OldXslt(xsltGenericError),
          OldXsltContext(xsltGenericErrorContext) {
        xmlSetStructuredErrorFunc(&log, CollectStructured);
        xmlSetGenericErrorFunc(&log, CollectFormatted);
        xsltSetGenericErrorFunc(&log, CollectFormatted);
    }
    ~TErrorCapture() {
        xmlSetStructuredErrorFunc(OldStructuredContext, OldStructured);
        xmlSetGenericErrorFunc(OldGenericContext, OldGeneric);
        xsltSetGenericErrorFunc(OldXsltContext, OldXslt);
    }
    TErrorCapture(const TErrorCapture&) = delete;
    TErrorCapture& operator=(const TErrorCapture&) = delete;

private:
    xmlStructuredErrorFunc OldStructured;
    void* OldStructuredContext;
    xmlGenericErrorFunc OldGeneric;
    void* OldGenericContext;
    xmlGenericErrorFunc OldXslt;
    void* OldXsltContext;
};

void InitXsltOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        exsltRegisterAll();
        // Stylesheet imports are checked against the defaults: no network there either.
        xsltSecurityPrefsPtr defaults = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(defaults, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
        xsltSetSecurityPrefs(defaults, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
        xsltSetDefaultSecurityPrefs(defaults);
    });
}

TXmlDocPtr LoadXml(const std::string& file, std::string& error) {
    TXmlParserCtxtPtr parser(xmlNewParserCtxt());
    if (!parser) {
        error = "out of memory";
        return nullptr;
    }
    TXmlDocPtr doc(xmlCtxtReadFile(parser.get(), file.c_str(), nullptr, kParseOptions));
    if (!doc) {
        const xmlError* last = xmlCtxtGetLastError(parser.get());
        error = file + ": " + (last && last->message ? Trim(last->message) : std::string("cannot be read"));
    }
    return doc;
}

// Whether path, resolved against folder, lies inside folder.
bool IsInsideFolder(std::string_view path, const std::string& folder) {
    std::string_view p = path;
    if (StartsWithNoCase(p, "file://")) p.remove_prefix(7);
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(fs::path(folder), ec);
    if (ec) return false;
    const fs::path target = fs::weakly_canonical(base / fs::path(p), ec);
    if (ec) return false;
    const auto [b, t] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    return b == base.end() && t != target.end();
}

// Where one transform may read (document()) and write (exsl:document, folders).
struct TTransformFolders {
    std::string Input;  // the folder of the input file: the report's other XML files
    std::string Output; // the folder of the output file
};

const TTransformFolders* FoldersOf(xsltTransformContextPtr context) {
    return context ? static_cast<const TTransformFolders*>(context->_private) : nullptr;
}

// Write and folder-creation check of a transform: only inside the output file's folder.
int CheckInsideOutputFolder(xsltSecurityPrefsPtr, xsltTransformContextPtr context, const char* value) {
    const TTransformFolders* folders = FoldersOf(context);
    if (folders && value && IsInsideFolder(value, folders->Output)) return 1;
    if (context) xsltTransformError(context, nullptr, nullptr, "writing %s is not allowed\n", value ? value : "");
    return 0;
}

// Read check of document(): only inside the input file's folder.
int CheckInsideInputFolder(xsltSecurityPrefsPtr, xsltTransformContextPtr context, const char* value) {
    const TTransformFolders* folders = FoldersOf(context);
    if (folders && value && IsInsideFolder(value, folders->Input)) return 1;
    if (context) xsltTransformError(context, nullptr, nullptr, "reading %s is not allowed\n", value ? value : "");
    return 0;
}

// "a=1 b=2" as the name/value array libxslt takes, ending in nullptr.
std::vector<std::string> SplitParams(std::string_view params) {
    std::vector<std::string> parts;
    std::istringstream words{std::string(params)};
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        if (eq == 0 || eq == std::string::npos) continue;
        parts.push_back(word.substr(0, eq));
        parts.push_back(word.substr(eq + 1));
    }
    return parts;
}

bool Fail(std::string* error, std::string text) {
    if (error) *error = text.empty() ? "the transform failed" : std::move(text);
    return false;
}

} // namespace

std::string ReportTemplateFolder(std::string_view templateName) {
    // One plain folder name: nothing that climbs out of the templates folder.
    const std::string name = Trim(templateName);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return {};
    return ProgramFolder() + "templates/" + name + "/";
}

bool HasPageStylesheets(const std::string& templateFolder) {
    return !templateFolder.empty() && FileExists(templateFolder + "main.xsl") && FileExists(templateFolder + "toc.xsl");
}

std::string StylesheetLibraryFolder() {
    return ProgramFolder() + "xsllib/";
}

std::string ReportFolderPath(std::string_view baseFolder, std::string_view reportName) {
    std::string name = Trim(ReplaceAll(reportName, "/", "-"));
    if (name.empty() || name == "." || name == "..") name = kFallbackReportName;
    return EnsureTrailingSeparator(baseFolder) + name + "/";
}

bool PrepareReportFolders(const std::string& reportFolder, const std::string& workFolder,
                          const std::string& templateFolder, const std::string& libraryFolder, std::string* error) {
    bool ok = true;
    // An empty path would name the current directory; an empty template folder, likewise.
    if (templateFolder.empty()) {
        if (error) *error = "no template folder";
        return false;
    }
    if (!reportFolder.empty()) {
        if (DirectoryExists(reportFolder)) EmptyFolder(reportFolder, false);
        ok = CopyFilesByMask(templateFolder, reportFolder, kTemplateExcludedFiles, "*.*", error);
    }
    if (!workFolder.empty()) {
        ForceFolders(workFolder);
        EmptyFolder(workFolder, false);
        ok = CopyFilesByMask(templateFolder, workFolder, "", "*.xsl", ok ? error : nullptr) && ok;
        ok = CopyFilesByMask(libraryFolder, workFolder, "", "*.xsl", ok ? error : nullptr) && ok;
    }
    return ok;
}

bool TransformFile(const std::string& xmlFile, const std::string& xslFile, const std::string& outputFile,
                   std::string_view params, std::string* error) {
    InitXsltOnce();
    std::lock_guard<std::mutex> lock(TransformLock);
    TErrorLog log;
    TErrorCapture capture(log);
    std::string reason;

    TXmlDocPtr input = LoadXml(xmlFile, reason);
    if (!input) return Fail(error, reason);
    // The report XML never has one; a declared entity could pull in other files.
    if (input->intSubset || input->extSubset)
        return Fail(error, xmlFile + ": document type declarations are not accepted");

    TXmlDocPtr styleDoc = LoadXml(xslFile, reason);
    if (!styleDoc) return Fail(error, reason);
    TStylesheetPtr style(xsltParseStylesheetDoc(styleDoc.get()));
    if (!style) return Fail(error, xslFile + ": " + (log.Text.empty() ? "not a valid stylesheet" : log.Text));
    styleDoc.release(); // owned by the stylesheet now
    if (style->errors > 0) return Fail(error, xslFile + ": " + log.Text);

    TSecurityPrefsPtr security(xsltNewSecurityPrefs()); // outlives the context that points to it
    TTransformContextPtr context(xsltNewTransformContext(style.get(), input.get()));
    if (!context || !security) return Fail(error, "out of memory");
    const auto folderOf = [](const std::string& file) {
        return ExtractFilePath(file).empty() ? std::string("./") : ExtractFilePath(file);
    };
    const TTransformFolders folders{folderOf(xmlFile), folderOf(outputFile)};
    context->_private = const_cast<TTransformFolders*>(&folders);
    xsltSetCtxtParseOptions(context.get(), kParseOptions);
    // Work that explodes (recursion that branches) stops with an error; endless recursion stops
    // at the library's depth limit.
    if (context->xpathCtxt) context->xpathCtxt->opLimit = kMaxXPathOperations;
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_READ_FILE, CheckInsideInputFolder);
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_WRITE_FILE, CheckInsideOutputFolder);
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_CREATE_DIRECTORY, CheckInsideOutputFolder);
    if (xsltSetCtxtSecurityPrefs(security.get(), context.get()) != 0)
        return Fail(error, "cannot restrict the transform");
    xsltSetTransformErrorFunc(context.get(), &log, CollectFormatted);

    const std::vector<std::string> pairs = SplitParams(params);
    std::vector<const char*> paramArray;
    for (const std::string& p : pairs)
        paramArray.push_back(p.c_str());
    paramArray.push_back(nullptr);
    if (xsltQuoteUserParams(context.get(), paramArray.data()) != 0) return Fail(error, log.Text);

    TXmlDocPtr result(xsltApplyStylesheetUser(style.get(), input.get(), nullptr, nullptr, nullptr, context.get()));
    if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED)
        return Fail(error, xmlFile + ": " + log.Text);

    xmlChar* text = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&text, &length, result.get(), style.get()) != 0)
        return Fail(error, xmlFile + ": the result cannot be serialised");
    const TXmlCharPtr owned(text);
    const std::string_view page(text ? reinterpret_cast<const char*>(text) : "",
                                text ? static_cast<size_t>(length) : 0);
    if (!ReplaceFileContents(outputFile, page, &reason)) return Fail(error, reason);
    if (error) error->clear();
    return true;
}

std::vector<std::string> ReportPageSources(const std::string& workFolder) {
    const std::string work = EnsureTrailingSeparator(workFolder);
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(work, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->symlink_status(ec).type() == fs::file_type::regular && UpperExtension(name) == "XML")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool TransformReportPage(const std::string& workFolder, const std::string& reportFolder, const std::string& xmlFile,
                         TPageFailure* failure) {
    const std::string work = EnsureTrailingSeparator(workFolder), report = EnsureTrailingSeparator(reportFolder);
    ForceFolders(report);
    const std::string stylesheet = work + (LowerCase(xmlFile) == "toc.xml" ? "toc.xsl" : "main.xsl");
    std::string error;
    if (!FileExists(stylesheet))
        error = stylesheet + ": no such stylesheet";
    else if (TransformFile(work + xmlFile, stylesheet, report + StripExtension(xmlFile, true) + ".htm", "", &error))
        return true;
    if (failure) *failure = {xmlFile, error};
    return false;
}

std::vector<TPageFailure> TransformReport(const std::string& workFolder, const std::string& reportFolder) {
    std::vector<TPageFailure> failures;
    ForceFolders(EnsureTrailingSeparator(reportFolder));
    for (const std::string& name : ReportPageSources(workFolder)) {
        TPageFailure failure;
        if (!TransformReportPage(workFolder, reportFolder, name, &failure)) failures.push_back(std::move(failure));
    }
    return failures;
}

bool WriteReportDates(const std::string& reportFolder, TDateTime creationDate, TDateTime startDate, TDateTime endDate) {
    const std::string path = EnsureTrailingSeparator(reportFolder) + "params.ini";
    std::string content;
    if (FileExists(path)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::ostringstream s;
        s << in.rdbuf();
        if (in.bad()) return false;
        content = s.str();
    }
    const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }

    const std::pair<const char*, int> values[] = {{"CreationDate", DayNumber(creationDate)},
                                                  {"StartDate", DayNumber(startDate)},
                                                  {"EndDate", DayNumber(endDate)}};
    auto isSection = [](std::string_view line) { return TrimView(line).starts_with("["); };
    auto sectionName = [](std::string_view line) {
        const std::string_view l = TrimView(line);
        const size_t close = l.find(']');
        return TrimView(l.substr(1, close == std::string_view::npos ? l.size() - 1 : close - 1));
    };
    auto opts = std::find_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return isSection(l) && SameText(sectionName(l), "OPTS"); });
    if (opts == lines.end()) {
        lines.push_back("[OPTS]");
        opts = lines.end() - 1;
    }
    const size_t first = static_cast<size_t>(opts - lines.begin()) + 1;
    for (const auto& [key, day] : values) {
        const std::string entry = std::string(key) + "=" + std::to_string(day);
        size_t end = first;
        while (end < lines.size() && !isSection(lines[end]))
            ++end;
        bool replaced = false;
        for (size_t i = first; i < end; ++i) {
            const size_t eq = lines[i].find('=');
            if (eq != std::string::npos && SameText(TrimView(std::string_view(lines[i]).substr(0, eq)), key)) {
                lines[i] = entry;
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        // After the section's last non-blank line.
        while (end > first && TrimView(lines[end - 1]).empty())
            --end;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), entry);
    }

    std::string text;
    for (const std::string& line : lines)
        text += line + eol;
    ForceFolders(reportFolder);
    return ReplaceFileContents(path, text);
}

std::string ReportStartPage(const std::string& reportFolder) {
    const std::string folder = EnsureTrailingSeparator(reportFolder);
    const std::string page = ReadReportParam(folder, "DefaultFile");
    if (!page.empty() && FileExists(folder + page)) return folder + page;
    return folder;
}

bool OpenReport(const std::string& reportFolder) {
    const std::string page = ReportStartPage(reportFolder);
    // The command line has no way to quote a double quote.
    if (page.find('"') != std::string::npos) return false;
    return RunHiddenAndCapture("xdg-open \"" + page + "\"", false) == 0;
}
