// The MifarePlus page: MIFARE Plus cards at every security level. The header
// finds the card and activates it (ISO 14443-4); below it one tab per level
// holds what can be done to a card in that level.
#pragma once

#include <array>

#include "pages/card_page.h"
#include "pages/mifare_plus_levels.h"

class QTabWidget;

class CMifarePlusDlg : public CardPage, public MfpCard {
    Q_OBJECT
  public:
    CMifarePlusDlg(AppContext& app, QWidget* parent);

    bool ensureCard(bool withReset) override;
    void cardLost() override { cardFound_ = false; }

  private:
    bool searchCard();
    bool resetCard();

    HexEdit* cardNumber_;
    HexEdit* resetInfo_;
    QTabWidget* levels_;
    bool cardFound_ = false;
};
