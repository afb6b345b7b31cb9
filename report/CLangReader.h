#pragma once
// Report language files: "<name>.lng" in the program folder's "lang/", one UTF-8 text
// per line, addressed by line number (from 0) by the statistics compiler.

#include <string>
#include <string_view>
#include <vector>

class TCLangReader {
public:
    // Reads from the program folder's "lang/"; no language loaded.
    TCLangReader();

    // The folder the languages are read from; a trailing "/" is added when missing.
    void SetFolder(std::string_view folder);
    const std::string& Folder() const { return LangFolder; }

    // Replaces list with the names (without ".lng") of the folder's language files, sorted.
    void ListLanguages(std::vector<std::string>& list) const;

    // Loads a language by name; a folder part and an extension in name are ignored.
    // False, with no lines, when the folder holds no such language file.
    bool Load(std::string_view name);

    int LineCount() const { return static_cast<int>(Lines.size()); }
    // Line n; empty when n is out of range.
    const std::string& Line(int n) const;

private:
    std::string FindFile(std::string_view baseName) const;

    std::string LangFolder;
    std::vector<std::string> Lines;
};
