// CAboutDlg: the program's name and version and the lines about its makers.
#pragma once

#include <QDialog>

class AppContext;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CAboutDlg(AppContext& app, QWidget* parent);
};
