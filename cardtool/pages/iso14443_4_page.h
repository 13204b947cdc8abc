// The ISO 14443-4 page: activates a contactless smart card of Type A or Type B
// and exchanges APDUs with it. Commands sent are remembered in a command book
// ("cosbooks.j" beside the program).
#pragma once

#include "pages/cos_command_page.h"

class QRadioButton;

class CIso14443_4Dlg : public CosCommandPage {
    Q_OBJECT
  public:
    CIso14443_4Dlg(AppContext& app, QWidget* parent);

    // Whether the reader met at the last Type A reset is of the newer kind,
    // which finds the card and sends RATS in two commands. Kept for the whole run.
    static bool newReader();

  private:
    void sendCommand() override;
    void reset();
    bool resetTypeA();
    bool resetTypeB();
    void halt();

    QRadioButton* typeA_;
    QRadioButton* typeB_;
    HexEdit* csn_;
    HexEdit* pupi_;
    HexEdit* resetInfo_;
    quint32 pupiValue_ = 0; // the last Type B card's PUPI, in the bytes' own order
};
