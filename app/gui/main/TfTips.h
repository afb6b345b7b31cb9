#pragma once
// The modal "Tips" dialog: one tip of the tips file at a time, "Next" to go on, and whether
// tips open at start-up; on closing it leaves ShowTips and LastTip in the general settings.

#include "profile/u_qvgensettings.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QPlainTextEdit;

class TfTips : public QDialog {
    Q_OBJECT
public:
    // Shows tip settings.LastTip of tipsFile (ProgramFolder() + "cvtips.txt" when empty).
    explicit TfTips(TCVQVGenSettings& settings, std::string tipsFile = {}, QWidget* parent = nullptr);

    // Every way of closing (Close, Escape, the close box) ends here.
    void done(int result) override;

private:
    // Shows the tips state's text; the box stays empty when no tip could be read.
    void ShowText();

    TCVQVGenSettings& Settings;
    TTipsState Tips;
    QPlainTextEdit* TipText = nullptr;
    QCheckBox* ShowTipsCheck = nullptr;
};
