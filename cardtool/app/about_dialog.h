// CAboutDlg: the program's name and version and the lines about its makers.
#pragma once

#include <QDialog>

class CTavistoApp;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CAboutDlg(CTavistoApp& app, QWidget* parent);
};
