// The profile and tips dialogs: what is entered is what the record holds, an edit leaves the
// settings it does not show alone, and the tips dialog walks the tips file and keeps the
// user's choice.

#include "app/gui/main/ProfileDialogs.h"
#include "app/gui/main/TfProfileBasics.h"
#include "app/gui/main/TfTips.h"
#include "profile/u_qvgensettings.h"
#include "profile/u_qvprofile.h"
#include "sources/W3CFormat.h"
#include "support/Sandbox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace {

// Waits for the next modal window of type T, hands it to act, and stops.
template <typename T, typename Act> void WhenShown(Act act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<T*>(widget); window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(window);
                return;
            }
        }
    });
    timer->start(10);
}

// Answers the next message box with button; its text goes to *text.
void AnswerMessageBox(QMessageBox::StandardButton button, QString* text) {
    WhenShown<QMessageBox>([button, text](QMessageBox* box) {
        *text = box->text();
        box->button(button)->click();
    });
}

template <typename T> T* Field(QWidget& dialog, const char* name) {
    T* field = dialog.findChild<T*>(name);
    if (!field) qFatal("no field %s", name);
    return field;
}

} // namespace

class ProfileDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void NewProfileIsSavedWithTheEnteredSettings() {
        TSandbox sandbox;
        const std::string logs = sandbox.Folder.Path() + "logs/";
        std::filesystem::create_directories(logs);
        const std::string missing = sandbox.Folder.Path() + "later/";
        const std::string common = CandidateLogFormats()[2];

        TfProfileBasics dialog;
        QCOMPARE(dialog.windowTitle(), QString("New profile"));
        Field<QLineEdit>(dialog, "ProfileName")->setText("  ");
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        dialog.accept();
        QCOMPARE(message, QString("The profile name cannot be empty."));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        std::vector<std::string> names;
        TQVProfile().ListNames(names);
        QVERIFY(names.empty());

        Field<QLineEdit>(dialog, "ProfileName")->setText("My Shop");
        Field<QListWidget>(dialog, "LogPaths")->clear();
        dialog.AddLogFolder(QString::fromStdString(logs));
        dialog.AddLogFolder(QString::fromStdString(missing).chopped(1)); // chosen folders come without "/"
        dialog.AddLogFolder(QString::fromStdString(logs).toUpper());     // already listed
        Field<QCheckBox>(dialog, "OpenExt")->setChecked(true);
        Field<QLineEdit>(dialog, "LogExtensions")->setText("log;txt;");
        Field<QComboBox>(dialog, "LogFormat")->setCurrentText(QString::fromStdString(common));
        Field<QCheckBox>(dialog, "AltReportDest")->setChecked(true);
        Field<QLineEdit>(dialog, "ReportFolder")->setText("%mydocuments%/shop reports/");
        Field<QSpinBox>(dialog, "VisitTimeout")->setValue(35);
        AnswerMessageBox(QMessageBox::Yes, &message); // keep the folder that does not exist yet
        dialog.accept();
        QVERIFY(message.contains(QString::fromStdString(missing)));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.SavedName(), std::string("MyShop"));

        TQVProfile saved;
        QVERIFY(saved.Load("MyShop"));
        QCOMPARE(saved.LogPaths, (std::vector<std::string>{logs, missing}));
        QVERIFY(saved.OpenExt);
        QCOMPARE(saved.LogExts, std::string("log;txt;"));
        QCOMPARE(saved.LogFormat, common);
        QCOMPARE(saved.TemplateName, std::string("CV - Menu - IE"));
        QCOMPARE(saved.ReportLanguage, std::string("english"));
        QVERIFY(saved.AltReportDest);
        QCOMPARE(saved.ReportDest, std::string("%mydocuments%/shop reports/"));
        QCOMPARE(saved.VisitTimeout, 35);
        QCOMPARE(saved.ExtGroupCount(), 3); // a brand-new profile's extension groups
    }

    void EditingChangesOnlyWhatWasChanged() {
        TSandbox sandbox;
        const std::string logs = sandbox.Folder.Path() + "logs/";
        std::filesystem::create_directories(logs);
        TQVProfile before;
        before.InitNew();
        before.SetName("shop");
        before.LogPaths = {logs};
        before.LogFormat = CandidateLogFormats()[3];
        before.DailyRowsMax = 77;
        before.UrlTrack = {"/buy.htm"};
        before.FTPHost = "ftp.example.org";
        QVERIFY(before.Save());
        QVERIFY(before.Load("shop")); // as stored: dates in whole days

        TfProfileBasics dialog("shop");
        QVERIFY(dialog.Loaded());
        QVERIFY(dialog.windowTitle().contains("shop"));
        QCOMPARE(Field<QSpinBox>(dialog, "VisitTimeout")->value(), 20);
        QCOMPARE(Field<QSpinBox>(dialog, "VisitTimeout")->maximum(), 60);
        QVERIFY(!Field<QLineEdit>(dialog, "LogExtensions")->isEnabled()); // only with OpenExt
        Field<QSpinBox>(dialog, "VisitTimeout")->setValue(45);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        TQVProfile after;
        QVERIFY(after.Load("shop"));
        QCOMPARE(after.VisitTimeout, 45);
        for (const TProfileSetting& setting : ProfileSettings())
            if (setting.Key != "VisitTimeout") QCOMPARE(after.SettingText(setting), before.SettingText(setting));
        QCOMPARE(after.CreationDate, before.CreationDate);
        std::vector<std::string> names;
        after.ListNames(names);
        QCOMPARE(names, std::vector<std::string>{"shop"});
    }

    void TipsFollowTheTipsFile() {
        TSandbox sandbox;
        const std::string tips = sandbox.Folder.WriteFile("cvtips.txt", "first\nsecond\nthird\n");
        TCVQVGenSettings settings;
        settings.LastTip = 3; // one beyond the last: starts over

        TfTips dialog(settings, tips);
        QCOMPARE(dialog.windowTitle(), QString("Tips"));
        auto* text = Field<QPlainTextEdit>(dialog, "TipText");
        QVERIFY(text->isReadOnly());
        QCOMPARE(text->toPlainText(), QString("first"));
        QTest::mouseClick(Field<QPushButton>(dialog, "NextButton"), Qt::LeftButton);
        QCOMPARE(text->toPlainText(), QString("second"));
        Field<QCheckBox>(dialog, "ShowTipsCheck")->setChecked(false);
        QTest::mouseClick(Field<QPushButton>(dialog, "CloseButton"), Qt::LeftButton);
        QVERIFY(!settings.ShowTips);
        QCOMPARE(settings.LastTip, 2);

        TfTips missing(settings, sandbox.Folder.Path() + "none.txt");
        QVERIFY(Field<QPlainTextEdit>(missing, "TipText")->toPlainText().isEmpty());
        missing.reject();
        QCOMPARE(settings.LastTip, 0);
    }

    void TipsSwitchedOffOpenOnlyWhenForced() {
        TSandbox sandbox;
        GenSettings().ShowTips = false;
        bool shown = false;
        WhenShown<TfTips>([&shown](TfTips* tips) {
            shown = true;
            tips->reject();
        });
        ShowTipsDialog(nullptr, false);
        QTest::qWait(50);
        QVERIFY(!shown);
        ShowTipsDialog(nullptr, true); // returns once the watcher closed it
        QVERIFY(shown);
        QVERIFY(!GenSettings().ShowTips);
    }
};

QTEST_MAIN(ProfileDialogsTest)
#include "ProfileDialogsTest.moc"
