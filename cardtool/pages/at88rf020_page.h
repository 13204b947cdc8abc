// The AT88RF020 page (card type 2): an ISO 14443 Type B tag of 32 pages of 8
// bytes. It finds the tag and shows its PUPI, presents the password (Check),
// sets lock bits and advances the counter with their read-backs, reads every
// page but the password page 3, writes one page, deselects the tag, and can
// repeat the search every 50 ms.
#pragma once

#include "pages/card_page.h"
#include "widgets/block_grid.h"

class ContinuousToggle;
class QComboBox;
class QPushButton;

class CAt88rf020Dlg : public CardPage {
    Q_OBJECT
  public:
    static constexpr int kPages = 32;
    static constexpr int kPageSize = 8;

    CAt88rf020Dlg(AppContext& app, QWidget* parent);

    // Set by a search that found a tag, cleared by one that did not.
    bool cardFound() const { return cardFound_; }
    ContinuousToggle* continuousSearch() const { return toggle_; }

    void search();
    void check();
    void lock();
    void count();
    void read();
    void write();
    void deselect();

  private:
    // Reads back page 0 or 2 after Lock or Count and shows it; false after reporting a failure.
    bool readBack(int page);

    HexEdit* pupi_;
    HexEdit* password_;
    HexEdit* lock_;
    HexEdit* counter_;
    QComboBox* pageList_;
    QPushButton* contSearch_;
    ContinuousToggle* toggle_ = nullptr;
    BlockGrid pages_; // pages 0 and 1 as 4 + 4 bytes, page 2 as 6 + 2, the rest 8
    bool cardFound_ = false;
};
