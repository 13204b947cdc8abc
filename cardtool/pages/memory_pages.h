// The Ultralight and ICODE1 pages: small memory cards of 4-byte pages. Both
// show the serial number from a search, every page after a read, and write
// one page chosen from a list that leaves out pages 0 and 1 (the serial number).
#pragma once

#include "pages/card_page.h"
#include "widgets/block_grid.h"

class QComboBox;

// What the two pages share: serial number, buttons, the page list and fields.
class MemoryCardPage : public CardPage {
    Q_OBJECT
  protected:
    // splitPage: a page shown as two 2-byte fields (Ultralight's lock-byte page), or -1.
    MemoryCardPage(AppContext& app, QWidget* parent, const QString& serialCaption, int pages,
                   int splitPage = -1);

    int chosenPage() const;

    virtual void search() = 0;
    virtual void read() = 0;
    virtual void write() = 0;

    HexEdit* serial_;
    QComboBox* pageList_;
    BlockGrid pages_;
};

class CUltraLightDlg : public MemoryCardPage {
    Q_OBJECT
  public:
    CUltraLightDlg(AppContext& app, QWidget* parent);

  private:
    void search() override;
    void read() override;
    void write() override;
};

class CIcode1Dlg : public MemoryCardPage {
    Q_OBJECT
  public:
    CIcode1Dlg(AppContext& app, QWidget* parent);

  private:
    void search() override;
    void read() override;
    void write() override;
};
