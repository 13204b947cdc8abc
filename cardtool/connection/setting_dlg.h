// CSettingDlg: the reader console. Lists the serial ports and the TCP readers
// of "ipaddr.ini", connects and disconnects them, and drives the reader's
// identity, device address, beeper, LED, antenna and a flash self-test. It
// also chooses the language of the next start.
#pragma once

#include <QDialog>

#include "connection/port_scan.h"

class AppContext;
class HexEdit;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CSettingDlg : public QDialog {
    Q_OBJECT
  public:
    CSettingDlg(AppContext& app, QWidget* parent, SerialEnumerator enumerate = EnumerateSerialPortsFn());

    void UpdateConnectionControls();
    void OnConnect();
    void OnRefresh();
    void OnReadProductInfo();
    void OnReadAddress();
    void OnWriteAddress();
    void OnBeep();
    void OnLight();
    void OnAntenna();
    void OnFlashTest();
    void OnLanguage();

    static SerialEnumerator EnumerateSerialPortsFn();

  private:
    void fillPortList();
    QString selectedName() const;
    void setPortControlsEnabled(bool enabled);
    bool requireConnection(const QString& text = QStringLiteral("Cannot connect to device"));
    unsigned short icdev() const;

    AppContext& app_;
    SerialEnumerator enumerate_;
    QComboBox* port_;
    QComboBox* rate_;
    QPushButton* connect_;
    QPushButton* refresh_;
    QLineEdit* hardware_;
    QLineEdit* serial_;
    QLineEdit* library_;
    HexEdit* address_;
    HexEdit* beep_;
    QComboBox* colour_;
    QRadioButton* on_;
    QRadioButton* off_;
    QComboBox* language_;
};
