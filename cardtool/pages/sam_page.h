// The SAM page: the reader's contact SAM slots. Resets the SAM of a slot at a
// chosen rate and shows its answer to reset, changes the link speed (PPS) and
// exchanges APDUs, remembered in a command book of its own ("samcosbooks.j").
#pragma once

#include "pages/cos_command_page.h"

class QComboBox;

class CSamDlg : public CosCommandPage {
    Q_OBJECT
  public:
    CSamDlg(AppContext& app, QWidget* parent);

    // The slot the page talks to, 1 to 4.
    unsigned char slot() const { return slot_; }

  private:
    void sendCommand() override;
    void resetSam();
    void setPps();
    static unsigned rate(const QComboBox* list);

    QComboBox* samNo_;
    QComboBox* resetRate_;
    QComboBox* ppsRate_;
    HexEdit* resetInfo_;
    unsigned char slot_ = 1;
};
