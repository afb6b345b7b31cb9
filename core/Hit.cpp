#include "core/Hit.h"

#include "sources/CUtils.h"

#include <algorithm>

const THitCodes THit::kNoCodes{};

const THitCodes* THitPool::CodesOf(std::string_view status, std::string_view extension, std::string_view user,
                                   uint32_t pathId) {
    const auto same = [&](const THitCodes* codes) {
        return codes && SameBytes(codes->Status, status) && SameBytes(codes->Extension, extension) &&
               SameBytes(codes->User, user);
    };
    TPathCodes* known = nullptr;
    if (pathId != kNoPathId) {
        if (pathId >= CodesByPath.size()) CodesByPath.resize(std::max<size_t>(pathId + 1, CodesByPath.size() * 2));
        known = &CodesByPath[pathId];
        if (same(known->Last)) return known->Last;
        if (same(known->Other)) {
            std::swap(known->Last, known->Other);
            return known->Last;
        }
    }
    // Line feeds end no field of a line: the joined key tells the three apart.
    Key.assign(status).append(1, '\n').append(extension).append(1, '\n').append(user);
    auto it = Codes.find(std::string_view(Key));
    if (it == Codes.end()) {
        const std::string_view key = Texts.Store(Key);
        auto codes = std::make_unique<THitCodes>();
        codes->Status = key.substr(0, status.size());
        codes->Extension = key.substr(status.size() + 1, extension.size());
        codes->User = key.substr(status.size() + extension.size() + 2);
        it = Codes.emplace(key, std::move(codes)).first;
    }
    if (known) {
        known->Other = known->Last;
        known->Last = it->second.get();
    }
    return it->second.get();
}

THit* THitPool::Make(const TLogEntry& line) {
    THit* hit;
    if (Free.empty()) {
        if (Made % kChunkHits == 0) Chunks.push_back(std::make_unique<THit[]>(kChunkHits));
        hit = &Chunks.back()[Made % kChunkHits];
        ++Made;
    } else {
        hit = Free.back();
        Free.pop_back();
    }
    hit->Time = line.Time;
    hit->Bytes = line.Bytes;
    hit->Visit = nullptr;
    hit->FilterState = fsUndecided;
    hit->IsError = line.IsError;
    hit->Page = false;
    const std::string_view stored = line.StoredPath();
    hit->Codes = CodesOf(line.Status(), line.Extension(), line.User(), stored.empty() ? kNoPathId : line.PathId);
    // A line made by hand has no path number: its path is kept here instead.
    const std::string_view path = stored.empty() ? Texts.Store(line.Path()) : stored;
    hit->PathId = stored.empty() ? kNoPathId : line.PathId;
    hit->PathText = path.data();
    hit->PathLength = static_cast<uint32_t>(path.size());
    hit->DirectoryLength = static_cast<uint32_t>(line.Directory().size());
    const std::string_view query = line.Query();
    if (query.empty()) {
        hit->QueryText.reset();
    } else {
        const auto length = static_cast<uint32_t>(query.size());
        hit->QueryText.reset(new char[sizeof length + query.size()]);
        std::memcpy(hit->QueryText.get(), &length, sizeof length);
        std::memcpy(hit->QueryText.get() + sizeof length, query.data(), query.size());
    }
    return hit;
}

void THitPool::Release(THit* hit) {
    if (!hit) return;
    hit->QueryText.reset();
    Free.push_back(hit);
}

void THitPool::FreeAll() {
    Chunks.clear();
    Free.clear();
    Free.shrink_to_fit();
    Made = 0;
    Codes.clear();
    std::vector<TPathCodes>().swap(CodesByPath);
    Texts.Clear();
}
