// The Mifare One page: MIFARE Classic cards. It finds a card and shows its
// serial number, reads and writes the blocks of any sector in three
// operation windows, and keeps a purse in a value block. With "Velmo"
// checked, the serial number and the balance also go to the reader's
// eight-digit display.
#pragma once

#include <array>

#include "pages/card_page.h"
#include "pages/classic_sector_ops.h"

class OperationWindow;
class PurseGroup;
class QCheckBox;

class CMifareOneDlg : public CardPage {
    Q_OBJECT
  public:
    CMifareOneDlg(AppContext& app, QWidget* parent);

  private:
    // The common Type A search, then the serial number on the display.
    bool findCard(int attempts);
    void searchCard();
    void getNextCard();
    // Requests idle cards only, without the antenna and protocol steps.
    bool nextCardSearch();
    void afterSearch();
    void showSerialOnDisplay();
    void showBalanceOnDisplay(qint32 balance);
    void displayFailed();

    HexEdit* cardNumber_;
    QCheckBox* velmo_;
    PurseGroup* purse_;
    std::array<OperationWindow*, 3> windows_{};
    ClassicSectorOps ops_;
    bool cardFound_ = false;
};
