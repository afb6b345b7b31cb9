#include "app/gui/main/TfTips.h"

#include "app/gui/bridge/QtBridge.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfTips::TfTips(TCVQVGenSettings& settings, std::string tipsFile, QWidget* parent)
    : QDialog(parent), Settings(settings), Tips(std::move(tipsFile)) {
    setObjectName("TfTips");
    setWindowTitle("Tips");
    setModal(true);

    auto* heading = new QLabel("Did you know?", this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    heading->setFont(headingFont);

    TipText = new QPlainTextEdit(this);
    TipText->setObjectName("TipText");
    TipText->setReadOnly(true);
    TipText->setMinimumSize(380, 110);

    ShowTipsCheck = new QCheckBox("Show tips at startup", this);
    ShowTipsCheck->setObjectName("ShowTipsCheck");
    ShowTipsCheck->setChecked(Settings.ShowTips);
    auto* next = new QPushButton("Next", this);
    next->setObjectName("NextButton");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("CloseButton");
    close->setDefault(true);
    connect(next, &QPushButton::clicked, this, [this] {
        if (Tips.Next()) ShowText();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ShowTipsCheck);
    bottom->addStretch();
    bottom->addWidget(next);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(TipText, 1);
    layout->addLayout(bottom);

    if (Tips.ShowTip(Settings.LastTip)) ShowText();
}

void TfTips::ShowText() {
    TipText->setPlainText(ToQString(Tips.Text()));
}

void TfTips::done(int result) {
    Settings.ShowTips = ShowTipsCheck->isChecked();
    Settings.LastTip = Tips.NextLastTip();
    QDialog::done(result);
}
