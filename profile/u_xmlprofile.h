#pragma once
// The record store of this system: each record is one XML file "<name>.xml" (root
// "cvprofile", one element per key) in a folder of the per-user data folder. Files are
// found without regard to letter case and replaced atomically on save; keys the record
// does not write itself are carried from load to save.

#include "profile/u_cvprofile.h"
#include "sources/XmlHandles.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

class TXMLProfileInterface : public TCVProfileInterface {
public:
    explicit TXMLProfileInterface(std::string folder);
    ~TXMLProfileInterface() override;

    std::string ReadString(std::string_view key, std::string_view def) override;
    // The texts of the key's "item" elements, untrimmed; with withInts their "intval"
    // attribute (0 when absent or not a 32-bit number).
    void ReadList(std::string_view key, TProfileList& list, bool withInts) override;
    bool HasKey(std::string_view key) override;

    void WriteString(std::string_view key, std::string_view value) override;
    void WriteList(std::string_view key, const TProfileList& list, bool withInts) override;

    void ListNames(std::vector<std::string>& names) override;
    bool RecordExists(std::string_view name) override;
    bool LoadRecord(std::string_view name, const std::function<void()>& readValues) override;
    bool SaveRecord(std::string_view name, const std::function<void()>& writeValues, std::string* error) override;
    void DeleteRecord(std::string_view name) override;
    void ForgetKeptKeys(const std::function<bool(std::string_view)>& drop) override;
    void BeginBatch() override;
    bool EndBatch(std::string* error) override;

    // The record folder: DataFolder() + Folder + "/", or DataFolder() for an empty Folder.
    std::string FolderPath() const;
    // Where a record of that name is written: FolderPath() + name + ".xml".
    std::string RecordPath(std::string_view name) const;

private:
    // Existing files of the record, the exact name first, then other letter cases.
    std::vector<std::string> FindRecordFiles(std::string_view name, bool firstOnly) const;
    _xmlNode* FindKey(std::string_view key) const;
    // The key's element, emptied, or a new one appended to the root; nullptr outside SaveRecord.
    _xmlNode* ReplaceKey(std::string_view key);
    // Keys: the first element of each name under Root.
    void IndexKeys();
    // Copies of the kept elements whose names the record did not write, appended to Root.
    void AppendKeptKeys();

    TXmlDocPtr Doc;           // the record being written
    TXmlDocPtr Loaded;        // the record last loaded, for its unknown keys
    _xmlNode* Root = nullptr; // root of the record being read or written
    // Names point into the elements' own names.
    std::unordered_map<std::string_view, _xmlNode*> Keys;

    bool Batch = false;
    bool BatchWritten = false;
    // While a batch is open: lower-cased file name -> the folder's files of that name.
    std::unordered_map<std::string, std::vector<std::string>> Listing;
};
