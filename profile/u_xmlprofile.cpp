#include "profile/u_xmlprofile.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kRootName = "cvprofile";
constexpr const char* kItemName = "item";
constexpr const char* kIntAttribute = "intval";
constexpr std::string_view kExtension = ".xml";
constexpr size_t kBufferSize = 4096;
// Records are a few kilobytes. A larger file is refused before it is parsed: its tree would
// take about fifteen times its size in memory.
constexpr off_t kMaxRecordBytes = off_t{8} << 20;

// Record files may come from another machine: no network, no entity substitution, no
// error output.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct TFileClose {
    void operator()(FILE* file) const { fclose(file); }
};
void InitLibxml() {
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
}

const xmlChar* XmlText(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

bool HasName(const xmlNode* node, std::string_view name) {
    if (node->type != XML_ELEMENT_NODE || node->name == nullptr) return false;
    return std::string_view(reinterpret_cast<const char*>(node->name)) == name;
}

// Character data below node, entity references left out: a record never holds them,
// and expanding them would let a crafted file grow without bound.
void AppendText(const xmlNode* node, std::string& out) {
    for (const xmlNode* child = node; child != nullptr; child = child->next) {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            if (child->content != nullptr) out += reinterpret_cast<const char*>(child->content);
        } else if (child->type == XML_ELEMENT_NODE) {
            AppendText(child->children, out);
        }
    }
}

std::string ElementText(const xmlNode* element) {
    std::string text;
    AppendText(element->children, text);
    return text;
}

int32_t ItemInt(const xmlNode* item) {
    for (const xmlAttr* attr = item->properties; attr != nullptr; attr = attr->next) {
        if (attr->name == nullptr || std::string_view(reinterpret_cast<const char*>(attr->name)) != kIntAttribute)
            continue;
        std::string text;
        AppendText(attr->children, text);
        const int64_t value = StrToInt64Def(text, 0);
        const bool fits = value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
        return fits ? static_cast<int32_t>(value) : 0;
    }
    return 0;
}

void RequireValidKey(const std::string& key) {
    // A key that is no XML name would make the whole file unreadable.
    if (xmlValidateNCName(XmlText(key), 0) != 0) throw std::invalid_argument("invalid record key: " + key);
}

// A name that stays a file of the record folder.
bool IsUsableName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool HasXmlExtension(std::string_view fileName) {
    return fileName.size() > kExtension.size() &&
           SameText(fileName.substr(fileName.size() - kExtension.size()), kExtension);
}

std::string SystemMessage(const std::string& path, int err) {
    return path + ": " + std::strerror(err);
}

// Entity references are left out of copied keys: the written record has no DTD to
// declare them, and an undeclared one would make the file unreadable.
template <typename TParent> // an element or an attribute
void DropEntityRefs(TParent* parent) {
    for (xmlNode* child = parent->children; child != nullptr;) {
        xmlNode* next = child->next;
        if (child->type == XML_ENTITY_REF_NODE) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        } else if (child->type == XML_ELEMENT_NODE) {
            DropEntityRefs(child);
        }
        child = next;
    }
    if constexpr (std::is_same_v<TParent, xmlNode>)
        for (xmlAttr* attr = parent->properties; attr != nullptr; attr = attr->next)
            DropEntityRefs(attr);
}

// The text to store for value: characters XML cannot carry removed, bytes that are not
// valid UTF-8 taken as Latin-1.
std::string XmlStorableText(std::string_view value) {
    return ValidUtf8(value, true);
}

TXmlDocPtr ParseRecordFile(const std::string& path) {
    std::unique_ptr<FILE, TFileClose> file(fopen(path.c_str(), "rbe"));
    if (!file) return nullptr;
    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0 || st.st_size > kMaxRecordBytes) return nullptr;
    TXmlParserCtxtPtr ctxt(xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, path.c_str()));
    if (!ctxt) return nullptr;
    xmlCtxtUseOptions(ctxt.get(), kParseOptions);
    char buffer[kBufferSize];
    bool readError = false;
    for (;;) {
        const size_t n = fread(buffer, 1, sizeof buffer, file.get());
        const bool last = n < sizeof buffer;
        readError = last && ferror(file.get());
        if (readError || xmlParseChunk(ctxt.get(), buffer, static_cast<int>(n), last ? 1 : 0) != 0 || last) break;
    }
    // The parser context does not own the document it built.
    TXmlDocPtr doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    if (readError || !ctxt->wellFormed || ctxt->errNo != 0) return nullptr;
    return doc;
}

} // namespace

TXMLProfileInterface::TXMLProfileInterface(std::string folder) : TCVProfileInterface(std::move(folder)) {
    InitLibxml();
}

TXMLProfileInterface::~TXMLProfileInterface() = default;

std::string TXMLProfileInterface::FolderPath() const {
    return Folder.empty() ? DataFolder() : DataFolder() + Folder + "/";
}

std::string TXMLProfileInterface::RecordPath(std::string_view name) const {
    return FolderPath() + std::string(name) + std::string(kExtension);
}

std::vector<std::string> TXMLProfileInterface::FindRecordFiles(std::string_view name, bool firstOnly) const {
    std::vector<std::string> found;
    if (!IsUsableName(name)) return found;
    const std::string exact = RecordPath(name);
    const std::string fileName = std::string(name) + std::string(kExtension);
    if (Batch) {
        const auto it = Listing.find(LowerCase(fileName));
        if (it == Listing.end()) return found;
        for (const bool exactName : {true, false})
            for (const std::string& entry : it->second)
                if ((entry == fileName) == exactName) found.push_back(FolderPath() + entry);
        if (firstOnly && found.size() > 1) found.resize(1);
        return found;
    }
    std::error_code ec;
    if (fs::is_regular_file(exact, ec)) {
        found.push_back(exact);
        if (firstOnly) return found;
    }
    for (fs::directory_iterator it(FolderPath(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (entry == fileName || !SameText(entry, fileName)) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        found.push_back(it->path().string());
        if (firstOnly) break;
    }
    return found;
}

_xmlNode* TXMLProfileInterface::FindKey(std::string_view key) const {
    if (Root == nullptr) return nullptr;
    const auto it = Keys.find(key);
    return it != Keys.end() ? it->second : nullptr;
}

void TXMLProfileInterface::IndexKeys() {
    Keys.clear();
    if (Root == nullptr) return;
    for (xmlNode* child = Root->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && child->name != nullptr)
            Keys.emplace(reinterpret_cast<const char*>(child->name), child); // the first of a name counts
}

_xmlNode* TXMLProfileInterface::ReplaceKey(std::string_view key) {
    if (Root == nullptr || !Doc) return nullptr;
    const std::string name(key);
    RequireValidKey(name);
    xmlNode* element = FindKey(key);
    if (element == nullptr) {
        element = xmlAddChild(Root, xmlNewDocNode(Doc.get(), nullptr, XmlText(name), nullptr));
        if (element != nullptr) Keys.emplace(reinterpret_cast<const char*>(element->name), element);
        return element;
    }
    while (element->children != nullptr) {
        xmlNode* child = element->children;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
    }
    return element;
}

std::string TXMLProfileInterface::ReadString(std::string_view key, std::string_view def) {
    const xmlNode* element = FindKey(key);
    return element != nullptr ? Trim(ElementText(element)) : std::string(def);
}

void TXMLProfileInterface::ReadList(std::string_view key, TProfileList& list, bool withInts) {
    list.clear();
    const xmlNode* element = FindKey(key);
    if (element == nullptr) return;
    for (const xmlNode* item = element->children; item != nullptr; item = item->next) {
        if (!HasName(item, kItemName)) continue;
        list.push_back({ElementText(item), withInts ? ItemInt(item) : 0});
    }
}

bool TXMLProfileInterface::HasKey(std::string_view key) {
    return FindKey(key) != nullptr;
}

void TXMLProfileInterface::WriteString(std::string_view key, std::string_view value) {
    xmlNode* element = ReplaceKey(key);
    if (element == nullptr) return;
    const std::string text = XmlStorableText(value);
    xmlAddChild(element, xmlNewDocTextLen(Doc.get(), XmlText(text), static_cast<int>(text.size())));
}

void TXMLProfileInterface::WriteList(std::string_view key, const TProfileList& list, bool withInts) {
    xmlNode* element = ReplaceKey(key);
    if (element == nullptr) return;
    const std::string itemName(kItemName);
    for (const TProfileListEntry& entry : list) {
        xmlNode* item = xmlAddChild(element, xmlNewDocNode(Doc.get(), nullptr, XmlText(itemName), nullptr));
        const std::string text = XmlStorableText(entry.Text);
        xmlAddChild(item, xmlNewDocTextLen(Doc.get(), XmlText(text), static_cast<int>(text.size())));
        if (withInts) {
            const std::string number = std::to_string(entry.Value);
            xmlNewProp(item, reinterpret_cast<const xmlChar*>(kIntAttribute), XmlText(number));
        }
    }
}

void TXMLProfileInterface::ListNames(std::vector<std::string>& names) {
    names.clear();
    std::error_code ec;
    for (fs::directory_iterator it(FolderPath(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        std::error_code typeError;
        if (!HasXmlExtension(entry) || !it->is_regular_file(typeError)) continue;
        names.push_back(entry.substr(0, entry.size() - kExtension.size()));
    }
}

bool TXMLProfileInterface::RecordExists(std::string_view name) {
    return !FindRecordFiles(name, true).empty();
}

bool TXMLProfileInterface::LoadRecord(std::string_view name, const std::function<void()>& readValues) {
    Doc.reset();
    Loaded.reset();
    Root = nullptr;
    Keys.clear();
    const std::vector<std::string> files = FindRecordFiles(name, true);
    if (files.empty()) return false;
    TXmlDocPtr doc = ParseRecordFile(files.front());
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr || !HasName(root, kRootName)) return false;
    // Kept after reading: its keys that the record does not write go back into the next save.
    Loaded = std::move(doc);
    Root = root;
    IndexKeys();
    readValues();
    Root = nullptr;
    Keys.clear();
    return true;
}

void TXMLProfileInterface::ForgetKeptKeys(const std::function<bool(std::string_view)>& drop) {
    xmlNode* keptRoot = Loaded ? xmlDocGetRootElement(Loaded.get()) : nullptr;
    if (keptRoot == nullptr) return;
    for (xmlNode* child = keptRoot->children; child != nullptr;) {
        xmlNode* next = child->next;
        if (child->type == XML_ELEMENT_NODE && child->name != nullptr &&
            drop(reinterpret_cast<const char*>(child->name))) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
    // Called while the record is being read: the index must not point at freed elements.
    if (Root == keptRoot) IndexKeys();
}

void TXMLProfileInterface::AppendKeptKeys() {
    const xmlNode* keptRoot = Loaded ? xmlDocGetRootElement(Loaded.get()) : nullptr;
    if (keptRoot == nullptr) return;
    for (const xmlNode* child = keptRoot->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || child->name == nullptr) continue;
        if (Keys.contains(reinterpret_cast<const char*>(child->name))) continue;
        xmlNode* copy = xmlDocCopyNode(const_cast<xmlNode*>(child), Doc.get(), 1);
        if (copy == nullptr) continue;
        DropEntityRefs(copy);
        xmlAddChild(Root, copy);
    }
}

bool TXMLProfileInterface::SaveRecord(std::string_view name, const std::function<void()>& writeValues,
                                      std::string* error) {
    const auto fail = [&](std::string message) {
        Doc.reset();
        Root = nullptr;
        Keys.clear();
        if (error != nullptr) *error = std::move(message);
        return false;
    };
    if (!IsUsableName(name)) return fail("not a usable record name: \"" + std::string(name) + "\"");

    Doc.reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    Root = xmlNewDocNode(Doc.get(), nullptr, reinterpret_cast<const xmlChar*>(kRootName), nullptr);
    xmlDocSetRootElement(Doc.get(), Root);
    Keys.clear();
    writeValues();
    AppendKeptKeys();

    xmlChar* dumped = nullptr;
    int dumpedSize = 0;
    xmlDocDumpFormatMemoryEnc(Doc.get(), &dumped, &dumpedSize, "UTF-8", 0);
    const TXmlCharPtr serialised(dumped);
    Doc.reset();
    Root = nullptr;
    Keys.clear();
    if (!serialised) return fail("cannot serialise record \"" + std::string(name) + "\"");
    const std::string text =
        CrLfTagLines(std::string_view(reinterpret_cast<const char*>(serialised.get()), dumpedSize));

    const std::string folder = FolderPath();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder)) return fail(folder + ": " + (ec ? ec.message() : "not a folder"));

    // Replaced in one step, so that no reader ever sees half a record; in a batch the files
    // are flushed together by EndBatch.
    const std::string target = RecordPath(name);
    const std::vector<std::string> existing = FindRecordFiles(name, false);
    TReplaceOptions options;
    options.Sync = !Batch;
    if (!existing.empty()) options.ModeOf = existing.front();
    std::string reason;
    if (!ReplaceFileContents(target, text, &reason, options)) return fail(reason);
    // The same record under another letter case is now replaced by the new file.
    for (const std::string& path : existing)
        if (path != target) unlink(path.c_str());
    if (Batch) {
        const std::string fileName = fs::path(target).filename().string();
        Listing[LowerCase(fileName)] = {fileName};
        BatchWritten = true;
    }
    return true;
}

void TXMLProfileInterface::DeleteRecord(std::string_view name) {
    for (const std::string& path : FindRecordFiles(name, false))
        unlink(path.c_str());
    if (Batch && IsUsableName(name)) Listing.erase(LowerCase(std::string(name) + std::string(kExtension)));
}

void TXMLProfileInterface::BeginBatch() {
    Listing.clear();
    std::error_code ec;
    for (fs::directory_iterator it(FolderPath(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string entry = it->path().filename().string();
        Listing[LowerCase(entry)].push_back(entry);
    }
    Batch = true;
    BatchWritten = false;
}

bool TXMLProfileInterface::EndBatch(std::string* error) {
    const bool flush = Batch && BatchWritten;
    Batch = false;
    BatchWritten = false;
    Listing.clear();
    if (!flush) return true;
    // One flush of the file system for every record written in the batch, renames included.
    const std::string folder = FolderPath();
    TUniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0 || syncfs(dir.Get()) != 0) {
        if (error != nullptr) *error = SystemMessage(folder, errno);
        return false;
    }
    return true;
}
