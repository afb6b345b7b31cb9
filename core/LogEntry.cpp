#include "core/LogEntry.h"

#include "core/CParser.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

int StatusClass(std::string_view status) {
    if (status.size() != 3) return 3;
    switch (status[0]) {
    case '1':
        return 0;
    case '2':
        return 1;
    case '3':
        return 2;
    case '5':
        return 4;
    default:
        return 3;
    }
}

namespace {

// Collapses every run of "/" into one. The test for "//" is one plain pass: a search for the
// pair would call memchr once for every single slash of the path.
void CollapseSlashes(std::string& s) {
    const char* const p = s.data();
    size_t at = 1;
    while (at < s.size() && !(p[at] == '/' && p[at - 1] == '/'))
        ++at;
    if (at >= s.size()) return;
    size_t w = 0;
    for (size_t r = 0; r < s.size(); ++r) {
        if (s[r] == '/' && w > 0 && s[w - 1] == '/') continue;
        s[w++] = s[r];
    }
    s.resize(w);
}

} // namespace

void TEntryText::Append(std::string_view text) {
    const size_t needed = static_cast<size_t>(Length) + text.size();
    if (needed > Capacity()) {
        // Grows by half again at least, so that a long text is copied a few times only.
        const size_t capacity = std::max(needed, Capacity() + Capacity() / 2);
        if (capacity > UINT32_MAX) throw std::length_error("entry text too long");
        std::unique_ptr<char[]> block(new char[capacity]);
        std::memcpy(block.get(), Data(), Length);
        Heap = std::move(block);
        HeapCapacity = static_cast<uint32_t>(capacity);
    }
    if (!text.empty()) std::memcpy(Data() + Length, text.data(), text.size());
    Length = static_cast<uint32_t>(needed);
}

void TLogEntry::AssignFrom(const TCParser& parser, const TLogEntryOptions& options) {
    if (AssignHitFields(parser, options)) AssignVisitFields(parser);
}

bool TLogEntry::AssignHitFields(const TCParser& parser, const TLogEntryOptions& options) {
    Valid = false;
    HostKey = -1;
    PathId = kNoPathId;
    KeptPath = nullptr;
    if (!parser.Valid()) return false;

    const int64_t hour = parser.FieldInt('h'), minute = parser.FieldInt('n'), second = parser.FieldInt('s');
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const int64_t zone = parser.FieldInt('z');
    const int64_t zoneAbs = zone < 0 ? -zone : zone;
    const int64_t zoneMinutes = (zone < 0 ? -1 : 1) * (zoneAbs / 100 * 60 + zoneAbs % 100);
    Time = options.CurrentDate + static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay +
           options.Timezone / 24.0 - static_cast<double>(zoneMinutes) / 1440.0;
    if (Time == 0) return false;
    Valid = true;

    Texts.Clear();
    AppendText(etHost, parser.Field('H'));
    AppendText(etUser, parser.Field('u'));
    AppendText(etMethod, parser.Field('M'));

    // The request path: decoded, scheme and host removed, slashes collapsed. Work buffers
    // per thread, so that pooled entries do not each carry them.
    thread_local std::string work;
    thread_local std::string query;
    work.assign(parser.Field('f'));
    UrlDecodeInPlace(work);
    size_t scheme = 0;
    if (HasHttpScheme(work, &scheme)) {
        const size_t slash = work.find('/', scheme);
        if (slash == std::string::npos) {
            work.assign("/");
        } else {
            work.erase(0, slash);
        }
    }
    CollapseSlashes(work);
    if (!options.CaseSensitive) LowerCaseInPlace(work);

    const std::string_view queryField = parser.Field('q');
    if (!queryField.empty()) {
        query.assign(queryField);
        UrlDecodeInPlace(query);
    } else {
        const size_t q = work.find('?');
        if (q != std::string::npos && q + 1 < work.size()) {
            query.assign(work, q + 1);
            work.resize(q);
        } else {
            query.clear();
        }
    }
    if (options.ParamType == 0) query.clear();

    const size_t lastSlash = work.rfind('/');
    const std::string_view directory =
        lastSlash == std::string::npos ? std::string_view("/") : std::string_view(work).substr(0, lastSlash + 1);
    const std::string_view filePart =
        lastSlash == std::string::npos ? std::string_view(work) : std::string_view(work).substr(lastSlash + 1);
    // The name ends at the first of " # ' ? \ (a loop: find_first_of searches the set once
    // for every character).
    size_t nameEnd = 0;
    while (nameEnd < filePart.size()) {
        const char c = filePart[nameEnd];
        if (c == '"' || c == '#' || c == '\'' || c == '?' || c == '\\') break;
        ++nameEnd;
    }
    const std::string_view fileName = filePart.substr(0, nameEnd);
    Texts.Append(directory);
    DirectoryLength = static_cast<uint32_t>(directory.size());
    AppendText(etPath, fileName);

    const size_t dot = fileName.rfind('.');
    AppendText(etExtension, dot == std::string_view::npos ? std::string_view() : fileName.substr(dot + 1, 5));
    char* const texts = Texts.Data();
    for (size_t i = Ends[etPath]; i < Ends[etExtension]; ++i)
        if (texts[i] >= 'a' && texts[i] <= 'z') texts[i] = static_cast<char>(texts[i] - 'a' + 'A');
    AppendText(etQuery, query);

    const std::string_view status = parser.Field('c');
    AppendText(etStatus, status);
    const int statusClass = StatusClass(status);
    IsError = statusClass == 3 || statusClass == 4;
    Bytes = StrToInt64Def(parser.Field('b'), 0);
    Ends[etReferrer] = Ends[etAgent] = Ends[etStatus];
    return true;
}

void TLogEntry::AssignVisitFields(const TCParser& parser) {
    AssignVisitFields(TVisitFields{parser.Field('r'), parser.Field('a')});
}

void TLogEntry::AssignVisitFields(const TVisitFields& fields) {
    thread_local std::string referrer;
    referrer.assign(fields.Referrer);
    UrlDecodeInPlace(referrer);
    Texts.Truncate(Ends[etStatus]);
    AppendText(etReferrer, HasHttpScheme(referrer) ? std::string_view(referrer) : std::string_view("-"));
    AppendText(etAgent, fields.Agent);
}

void TLogEntry::SetText(TText text, std::string_view value) {
    std::string texts;
    uint32_t ends[kTextCount];
    for (int i = 0; i < kTextCount; ++i) {
        const auto t = static_cast<TText>(i);
        texts.append(t == text ? value : Text(t));
        ends[i] = static_cast<uint32_t>(texts.size());
    }
    if (text == etHost) HostKey = -1;
    if (text == etPath) {
        PathId = kNoPathId;
        KeptPath = nullptr;
        const size_t slash = value.rfind('/');
        DirectoryLength = slash == std::string_view::npos ? 0 : static_cast<uint32_t>(slash + 1);
    }
    Texts.Assign(texts);
    std::copy(ends, ends + kTextCount, Ends);
}
