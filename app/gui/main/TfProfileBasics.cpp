#include "app/gui/main/TfProfileBasics.h"

#include "app/gui/bridge/QtBridge.h"
#include "report/ReportHeaders.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// The table entry of a setting (its bounds among others); nullptr when unknown.
const TProfileSetting* FindSetting(std::string_view key) {
    for (const TProfileSetting& setting : ProfileSettings())
        if (setting.Key == key) return &setting;
    return nullptr;
}

QString WithTrailingSlash(QString folder) {
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

// names as the choices; current selected, else the first (a name no longer available is not
// offered). With no choices at all, current stays so that saving does not blank it.
void FillChoices(QComboBox* combo, const std::vector<std::string>& names, const std::string& current) {
    for (const std::string& name : names)
        combo->addItem(ToQString(name));
    if (names.empty() && !current.empty()) combo->addItem(ToQString(current));
    combo->setCurrentIndex(std::max(0, combo->findText(ToQString(current), Qt::MatchFixedString)));
}

} // namespace

TfProfileBasics::TfProfileBasics(const std::string& profileName, QWidget* parent)
    : QDialog(parent), NewProfile(profileName.empty()) {
    setObjectName("TfProfileBasics");
    if (NewProfile) {
        Profile.InitNew();
        setWindowTitle("New profile");
    } else {
        LoadedOk = Profile.Load(profileName);
        setWindowTitle(QString("Edit profile - %1").arg(ToQString(profileName)));
    }
    BuildForm();
    LoadFields();
}

void TfProfileBasics::BuildForm() {
    // Captions of every form column get one width, so that the fields of all groups line up.
    std::vector<QLabel*> captions;
    auto addRow = [&captions](QFormLayout* form, const char* caption, auto* field) {
        auto* label = new QLabel(caption);
        captions.push_back(label);
        form->addRow(label, field);
    };

    auto* general = new QGroupBox("General settings", this);
    auto* generalLayout = new QFormLayout(general);
    if (NewProfile) {
        ProfileName = new QLineEdit(general);
        ProfileName->setObjectName("ProfileName");
        addRow(generalLayout, "Profile Name:", ProfileName);
    } else {
        auto* name = new QLabel(ToQString(Profile.Name), general);
        name->setObjectName("ProfileName");
        name->setTextInteractionFlags(Qt::TextSelectableByMouse);
        addRow(generalLayout, "Profile Name:", name);
    }
    VisitTimeout = new QSpinBox(general);
    VisitTimeout->setObjectName("VisitTimeout");
    if (const TProfileSetting* setting = FindSetting("VisitTimeout"))
        VisitTimeout->setRange(static_cast<int>(setting->Lo), static_cast<int>(setting->Hi));
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(VisitTimeout);
    timeoutRow->addWidget(new QLabel("minutes", general));
    timeoutRow->addStretch();
    addRow(generalLayout, "Visit timeout :", timeoutRow);

    // Logs: where they are, which files count, how a line reads.
    auto* logs = new QGroupBox("Logs", this);
    auto* logsLayout = new QVBoxLayout(logs);
    logsLayout->addWidget(new QLabel("Add directories where your logs are located", logs));
    auto* folderRow = new QHBoxLayout;
    LogPaths = new QListWidget(logs);
    LogPaths->setObjectName("LogPaths");
    LogPaths->setMinimumHeight(90);
    folderRow->addWidget(LogPaths, 1);
    auto* folderButtons = new QVBoxLayout;
    auto* add = new QPushButton("Add...", logs);
    add->setObjectName("AddLogPath");
    auto* remove = new QPushButton("Remove", logs);
    remove->setObjectName("RemoveLogPath");
    folderButtons->addWidget(add);
    folderButtons->addWidget(remove);
    folderButtons->addStretch();
    folderRow->addLayout(folderButtons);
    logsLayout->addLayout(folderRow);
    connect(add, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, "Select a directory with log files in it.");
        if (!folder.isEmpty()) AddLogFolder(folder);
    });
    connect(remove, &QPushButton::clicked, this, [this] { delete LogPaths->currentItem(); });

    OpenExt = new QCheckBox("Only open files with specified extensions", logs);
    OpenExt->setObjectName("OpenExt");
    logsLayout->addWidget(OpenExt);
    auto* logForm = new QFormLayout;
    LogExtensions = new QLineEdit(logs);
    LogExtensions->setObjectName("LogExtensions");
    addRow(logForm, "Look for these extensions:", LogExtensions);
    connect(OpenExt, &QCheckBox::toggled, LogExtensions, &QWidget::setEnabled);
    LogFormat = new QComboBox(logs);
    LogFormat->setObjectName("LogFormat");
    LogFormat->setEditable(true);
    LogFormat->setInsertPolicy(QComboBox::NoInsert);
    LogFormat->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    LogFormat->setMinimumContentsLength(60);
    for (const char* format : CandidateLogFormats())
        LogFormat->addItem(ToQString(format));
    addRow(logForm, "Log format:", LogFormat);
    logsLayout->addLayout(logForm);
    auto* note = new QLabel("Note: If you have IIS logs, this setting is not important because it will be "
                            "detected \"on-the-fly\".",
                            logs);
    note->setWordWrap(true);
    logsLayout->addWidget(note);

    // Reports: their look, language and destination.
    auto* reports = new QGroupBox("Reports", this);
    auto* reportsLayout = new QFormLayout(reports);
    TemplateName = new QComboBox(reports);
    TemplateName->setObjectName("TemplateName");
    addRow(reportsLayout, "Report template to use:", TemplateName);
    ReportLanguage = new QComboBox(reports);
    ReportLanguage->setObjectName("ReportLanguage");
    addRow(reportsLayout, "Report Language:", ReportLanguage);
    AltReportDest = new QCheckBox("Specify a destination directory for reports", reports);
    AltReportDest->setObjectName("AltReportDest");
    reportsLayout->addRow(AltReportDest);
    auto* destRow = new QHBoxLayout;
    ReportFolder = new QLineEdit(reports);
    ReportFolder->setObjectName("ReportFolder");
    auto* browse = new QPushButton("Browse...", reports);
    browse->setObjectName("BrowseReportFolder");
    destRow->addWidget(ReportFolder, 1);
    destRow->addWidget(browse);
    addRow(reportsLayout, "Reports destination:", destRow);
    connect(AltReportDest, &QCheckBox::toggled, ReportFolder, &QWidget::setEnabled);
    connect(AltReportDest, &QCheckBox::toggled, browse, &QWidget::setEnabled);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, "Select a destination for your reports");
        if (!folder.isEmpty()) ReportFolder->setText(WithTrailingSlash(folder));
    });

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfProfileBasics::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TfProfileBasics::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] {
        if (!OpenHelpTopic("profile/index.htm"))
            QMessageBox::warning(this, windowTitle(), "The help page could not be opened.");
    });

    int captionWidth = 0;
    for (QLabel* caption : captions)
        captionWidth = std::max(captionWidth, caption->sizeHint().width());
    for (QLabel* caption : captions)
        caption->setMinimumWidth(captionWidth);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(logs);
    layout->addWidget(reports);
    layout->addWidget(buttons);
}

void TfProfileBasics::LoadFields() {
    for (const std::string& path : Profile.LogPaths)
        LogPaths->addItem(ToQString(path));
    if (LogPaths->count() > 0) LogPaths->setCurrentRow(0);
    OpenExt->setChecked(Profile.OpenExt);
    LogExtensions->setText(ToQString(Profile.LogExts));
    LogExtensions->setEnabled(Profile.OpenExt);
    LogFormat->setCurrentText(ToQString(Profile.LogFormat));
    LogFormat->lineEdit()->setCursorPosition(0); // the start of a long format tells most
    FillChoices(TemplateName, ListTemplates(), Profile.TemplateName);
    FillChoices(ReportLanguage, ListReportLanguages(), Profile.ReportLanguage);
    AltReportDest->setChecked(Profile.AltReportDest);
    ReportFolder->setText(ToQString(Profile.ReportDest));
    ReportFolder->setEnabled(Profile.AltReportDest);
    findChild<QPushButton*>("BrowseReportFolder")->setEnabled(Profile.AltReportDest);
    VisitTimeout->setValue(Profile.VisitTimeout);
}

void TfProfileBasics::AddLogFolder(const QString& folder) {
    const QString entry = WithTrailingSlash(folder);
    for (int i = 0; i < LogPaths->count(); ++i) {
        if (WithTrailingSlash(LogPaths->item(i)->text()).compare(entry, Qt::CaseInsensitive) == 0) {
            LogPaths->setCurrentRow(i);
            return;
        }
    }
    LogPaths->addItem(entry);
    LogPaths->setCurrentRow(LogPaths->count() - 1);
}

QString TfProfileBasics::Validate() const {
    if (ProfileName && ProfileName->text().trimmed().isEmpty()) return "The profile name cannot be empty.";
    if (LogPaths->count() == 0) return "You must specify a log directory.";
    return {};
}

bool TfProfileBasics::ConfirmMissingFolders() {
    QStringList missing;
    for (int i = 0; i < LogPaths->count(); ++i) {
        const QString path = LogPaths->item(i)->text();
        std::error_code error;
        if (!std::filesystem::is_directory(ExpandFolderMacros(FromQString(path)), error)) missing << path;
    }
    if (missing.isEmpty()) return true;
    const QString text = QString("These log folders do not exist:\n%1\n\nKeep them anyway?").arg(missing.join('\n'));
    return QMessageBox::warning(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void TfProfileBasics::SaveFields() {
    Profile.LogPaths.clear();
    for (int i = 0; i < LogPaths->count(); ++i)
        Profile.LogPaths.push_back(FromQString(LogPaths->item(i)->text()));
    Profile.OpenExt = OpenExt->isChecked();
    Profile.LogExts = FromQString(LogExtensions->text());
    Profile.LogFormat = FromQString(LogFormat->currentText());
    Profile.TemplateName = FromQString(TemplateName->currentText());
    Profile.ReportLanguage = FromQString(ReportLanguage->currentText());
    Profile.AltReportDest = AltReportDest->isChecked();
    Profile.ReportDest = FromQString(ReportFolder->text());
    Profile.VisitTimeout = VisitTimeout->value();
}

void TfProfileBasics::accept() {
    if (const QString problem = Validate(); !problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        return;
    }
    if (!ConfirmMissingFolders()) return;
    if (NewProfile) Profile.SetName(FromQString(ProfileName->text().trimmed()));
    SaveFields();
    std::string error;
    if (!Profile.Save(&error)) {
        QMessageBox::critical(
            this, windowTitle(),
            QString("The profile \"%1\" could not be saved:\n%2").arg(ToQString(Profile.Name), ToQString(error)));
        return;
    }
    Saved = Profile.Name;
    QDialog::accept();
}
