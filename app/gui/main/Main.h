#pragma once
// The main window: the profiles and, for the selected one, its archived reports, with every
// action on them; it starts report jobs and shows their progress.

#include <QMainWindow>

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfMain(QWidget* parent = nullptr);
    // Saves the DNS cache when it holds entries.
    ~TfMain() override;

    // The tips dialog, when the user wants it at start-up.
    void ShowStartupTips();

protected:
    void changeEvent(QEvent* event) override;
};
