// CDesCalculatorDlg: encrypts or decrypts hex data with a single (8-byte) or
// double-length (16-byte) DES key through the library. Needs no reader.
// Closing it in any way hands it back to the main window, which destroys it.
#pragma once

#include <QDialog>

class AppContext;
class HexEdit;

class CDesCalculatorDlg : public QDialog {
    Q_OBJECT
  public:
    CDesCalculatorDlg(AppContext& app, QWidget* owner);

    void OnEncrypt() { run(true); }
    void OnDecrypt() { run(false); }

  private:
    void run(bool encrypt);

    AppContext& app_;
    HexEdit* key_;
    HexEdit* data_;
    HexEdit* result_;
};
