#include "profile/u_qvgensettings.h"

#include "profile/u_xmlprofile.h"
#include "sources/SpecialFolders.h"

#include <fstream>
#include <vector>
#include <memory>

namespace {

std::unique_ptr<TCVQVGenSettings>& Instance() {
    static std::unique_ptr<TCVQVGenSettings> instance;
    return instance;
}

} // namespace

TCVQVGenSettings::TCVQVGenSettings() : TCVProfile(std::make_unique<TXMLProfileInterface>(""), "new_profile") {
}

void TCVQVGenSettings::ReadValues() {
    ShowTips = ReadBool("ShowTips", true);
    LastTip = ReadNumber<int32_t>("LastTip", 0);
    ProfileSort = ReadNumber<int32_t>("ProfileSort", 0);
    ReportSort = ReadNumber<int32_t>("ReportSort", 0);
}

void TCVQVGenSettings::WriteValues() {
    WriteBool("ShowTips", ShowTips);
    WriteInt("LastTip", LastTip);
    WriteInt("ProfileSort", ProfileSort);
    WriteInt("ReportSort", ReportSort);
}

void TCVQVGenSettings::SetDefaults() {
    ShowTips = true;
    LastTip = 0;
    ProfileSort = 0;
    ReportSort = 0;
}

TCVQVGenSettings& GenSettings() {
    if (!Instance()) LoadSettings();
    return *Instance();
}

void LoadSettings() {
    auto settings = std::make_unique<TCVQVGenSettings>();
    if (!settings->Load("settings")) {
        settings->InitNew();
        settings->SetName("settings");
    }
    Instance() = std::move(settings);
}

bool SaveSettings(std::string* error) {
    std::unique_ptr<TCVQVGenSettings> settings = std::move(Instance());
    return !settings || settings->Save(error);
}

TTipsState::TTipsState(std::string tipsFile)
    : TipsFile(tipsFile.empty() ? ProgramFolder() + "cvtips.txt" : std::move(tipsFile)) {
}

bool TTipsState::ShowTip(int32_t k) {
    std::ifstream in(TipsFile, std::ios::binary);
    if (!in) return false;
    std::vector<std::string> tips;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        tips.push_back(std::move(line));
    }
    if (tips.empty()) return false;
    if (k < 0 || static_cast<size_t>(k) >= tips.size()) k = 0;
    Shown = k;
    ShownText = std::move(tips[static_cast<size_t>(k)]);
    return true;
}
