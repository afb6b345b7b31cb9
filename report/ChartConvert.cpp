#include "report/ChartConvert.h"

#include "sources/ExternalPrograms.h"
#include "sources/FileUtils.h"
#include "sources/XmlHandles.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The in-process processor: the stylesheet is read once, on first use, and may neither
// write files nor reach the network.
class TInProcessTransform {
public:
    explicit TInProcessTransform(std::string styleSheet) : StyleSheetFile(std::move(styleSheet)) {}

    // Transforms input into output; false when anything fails.
    bool Run(const std::string& input, const std::string& output) {
        if (!Loaded) Load();
        if (!Sheet) return false;
        TXmlDocPtr doc(xmlReadFile(input.c_str(), nullptr, XML_PARSE_NONET));
        if (!doc) return false;
        TXsltTransformContextPtr context(xsltNewTransformContext(Sheet.get(), doc.get()));
        if (!context || xsltSetCtxtSecurityPrefs(Prefs.get(), context.get()) != 0) return false;
        TXmlDocPtr result(xsltApplyStylesheetUser(Sheet.get(), doc.get(), nullptr, nullptr, nullptr, context.get()));
        if (!result || context->state != XSLT_STATE_OK) return false;
        return xsltSaveResultToFilename(output.c_str(), result.get(), Sheet.get(), 0) >= 0;
    }

private:
    void Load() {
        Loaded = true;
        static std::once_flag exslt;
        std::call_once(exslt, [] { exsltRegisterAll(); });
        Prefs.reset(xsltNewSecurityPrefs());
        if (!Prefs) return;
        for (xsltSecurityOption option : {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                          XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
            xsltSetSecurityPrefs(Prefs.get(), option, xsltSecurityForbid);
        if (FileExists(StyleSheetFile)) Sheet.reset(xsltParseStylesheetFile(BAD_CAST StyleSheetFile.c_str()));
    }

    std::string StyleSheetFile;
    bool Loaded = false;
    TXsltSecurityPrefsPtr Prefs;
    TXsltStylesheetPtr Sheet;
};

// Moves the product to its place; an existing file there stays, and the product is
// removed either way so that it cannot stand in for a later chart. False with the reason
// when the picture could not be put in place.
bool MoveProduct(const std::string& product, const std::string& output, std::string& reason) {
    std::error_code ec, ignored;
    if (!fs::exists(output, ignored)) {
        fs::rename(product, output, ec);
        if (ec) {
            ec.clear();
            fs::copy_file(product, output, fs::copy_options::none, ec); // another file system
            if (ec) fs::remove(output, ignored);
        }
    }
    fs::remove(product, ignored);
    if (ec) reason = ec.message();
    return !ec;
}

} // namespace

std::string SaxonCommandLine(const std::string& javaFolder, const std::string& programFolder, const std::string& input,
                             const std::string& output) {
    return Quoted(javaFolder + "java") + " -cp " + Quoted(programFolder + "saxon/saxon.jar") +
           " com.icl.saxon.StyleSheet -o " + Quoted(output) + " " + Quoted(input) + " " +
           Quoted(programFolder + "chartsvg/chartsvg.xsl") + " ";
}

int ConvertCharts(const std::string& sourceFolder, const std::string& targetFolder, const std::string& programFolder,
                  std::vector<std::string>* errors) {
    const std::string source = EnsureTrailingSeparator(sourceFolder);
    const std::string target = EnsureTrailingSeparator(targetFolder);
    ForceFolders(target);

    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) files.push_back(it->path().filename().string());
    }

    // The product of each run, made beside the source folder (in the work folder).
    const std::string product = ExtractFilePath(source.substr(0, source.size() - 1)) + "tmp.svg";
    // Saxon runs only when both it and a Java runtime are there; else libxslt does the work.
    const std::string javaFolder = FileExists(programFolder + "saxon/saxon.jar") ? FindJavaHome() : std::string();
    const bool external = !javaFolder.empty();
    TInProcessTransform transform(programFolder + "chartsvg/chartsvg.xsl");

    int lastError = 0;
    for (const std::string& name : files) {
        const std::string input = source + name;
        if (UpperExtension(name) != "XML") {
            std::string reason;
            if (!CopyFileOver(input, target + name, &reason) && errors) errors->push_back(reason);
            continue;
        }
        const std::string output = target + BaseNameNoExt(name) + ".svg";
        fs::remove(product, ec);
        bool made;
        if (external) {
            const int status = RunHiddenAndCapture(SaxonCommandLine(javaFolder, programFolder, input, product), false);
            if (status != 0) lastError = status;
            // A failed run may leave a partial picture: it is not used.
            made = status == 0;
        } else {
            made = transform.Run(input, product);
        }
        std::string reason = "the chart could not be converted";
        if (made && FileExists(product)) {
            if (MoveProduct(product, output, reason)) continue;
        } else {
            fs::remove(product, ec);
        }
        if (errors) errors->push_back(output + ": " + reason);
    }
    return lastError;
}
