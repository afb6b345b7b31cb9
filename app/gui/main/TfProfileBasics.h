#pragma once
// The compact profile dialog: a new profile's basic settings, or those of an existing one
// (log folders, extensions, log format, report template, language and folder, visit
// timeout), saved through a profile object of its own on OK.

#include "profile/u_qvprofile.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

class TfProfileBasics : public QDialog {
    Q_OBJECT
public:
    // A new profile when profileName is empty, else the record of that name.
    explicit TfProfileBasics(const std::string& profileName = {}, QWidget* parent = nullptr);

    bool IsNew() const { return NewProfile; }
    // False when the record to edit could not be read; the dialog must then not be shown.
    bool Loaded() const { return LoadedOk; }
    // The name the profile was saved under; empty until OK succeeded.
    const std::string& SavedName() const { return Saved; }

    // Appends a log folder unless the list already holds it (letter case ignored).
    void AddLogFolder(const QString& folder);

    // Validates, asks about missing folders, saves; stays open on a refusal or a save error.
    void accept() override;

private:
    void BuildForm();
    void LoadFields();
    // The first problem that refuses OK; empty when there is none.
    QString Validate() const;
    // False when the user chose not to keep log folders that do not exist.
    bool ConfirmMissingFolders();
    void SaveFields();

    TQVProfile Profile;
    bool NewProfile;
    bool LoadedOk = true;
    std::string Saved;

    QLineEdit* ProfileName = nullptr; // new profiles only
    QListWidget* LogPaths = nullptr;
    QCheckBox* OpenExt = nullptr;
    QLineEdit* LogExtensions = nullptr;
    QComboBox* LogFormat = nullptr;
    QComboBox* TemplateName = nullptr;
    QComboBox* ReportLanguage = nullptr;
    QCheckBox* AltReportDest = nullptr;
    QLineEdit* ReportFolder = nullptr;
    QSpinBox* VisitTimeout = nullptr;
};
