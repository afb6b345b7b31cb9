#include "report/CLangReader.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLangExtension = ".lng";

// Lines ending in CR LF, LF or CR; a break at the very end adds no empty line.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(ValidUtf8(text.substr(start)));
            break;
        }
        lines.push_back(ValidUtf8(text.substr(start, end - start)));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool IsLanguageFile(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_regular_file(ec) && UpperExtension(entry.path().filename().string()) == "LNG";
}

} // namespace

TCLangReader::TCLangReader() : LangFolder(ProgramFolder() + "lang/") {
}

void TCLangReader::SetFolder(std::string_view folder) {
    LangFolder = EnsureTrailingSeparator(folder);
}

void TCLangReader::ListLanguages(std::vector<std::string>& list) const {
    list.clear();
    std::error_code ec;
    for (fs::directory_iterator it(LangFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!IsLanguageFile(*it)) continue;
        std::string name = BaseNameNoExt(it->path().filename().string());
        if (!name.empty()) list.push_back(std::move(name));
    }
    // Directory order is arbitrary here; users pick from this list.
    std::sort(list.begin(), list.end());
}

// The path of baseName + ".lng" in the folder, the extension in any letter case as
// ListLanguages accepts it; "" when there is none.
std::string TCLangReader::FindFile(std::string_view baseName) const {
    if (baseName.empty()) return {};
    const std::string fileName = std::string(baseName) + std::string(kLangExtension);
    if (FileExists(LangFolder + fileName)) return LangFolder + fileName;
    std::error_code ec;
    for (fs::directory_iterator it(LangFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (IsLanguageFile(*it) && BaseNameNoExt(entry) == baseName) return LangFolder + entry;
    }
    return {};
}

bool TCLangReader::Load(std::string_view name) {
    Lines.clear();
    const std::string fileName = ExtractFileName(name);
    // A listed name may itself contain dots ("en.uk"), so it is tried whole first.
    std::string path = FindFile(fileName);
    if (path.empty()) path = FindFile(StripExtension(fileName, true));
    if (path.empty()) return false;

    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    // A byte-order mark some editors write would otherwise become part of line 0.
    std::string_view body = text;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    Lines = SplitLines(body);
    return true;
}

const std::string& TCLangReader::Line(int n) const {
    static const std::string kEmpty;
    if (n < 0 || n >= LineCount()) return kEmpty;
    return Lines[static_cast<size_t>(n)];
}
