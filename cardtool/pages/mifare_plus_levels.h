// The MifarePlus page's level pages, one for each security level a card can
// be in: level 0 personalises the card and commits it, level 1 works on it
// as a MIFARE Classic and switches it up, level 2 switches it to level 3,
// and level 3 reads, writes and keeps purses under AES keys, with four raw
// commands besides. Each ends with the operating note of its level.
#pragma once

#include <array>

#include "pages/card_page.h"
#include "pages/classic_sector_ops.h"

class OperationWindow;
class PurseGroup;
class QLabel;
class QListWidget;
class QVBoxLayout;

// The card the level pages work on, as the page's header keeps it.
class MfpCard {
  public:
    virtual ~MfpCard() = default;
    // True when a card was found, searching for it now if need be. withReset
    // also activates a newly found card (ISO 14443-4), as AES commands need.
    virtual bool ensureCard(bool withReset) = 0;
    // After a failed authentication or card command: search again next time.
    virtual void cardLost() = 0;
};

class MfpLevelPage : public CardPage {
    Q_OBJECT
  public:
    // Once the page's captions are translated: names what has no caption of its own.
    virtual void nameParts() {}

  protected:
    MfpLevelPage(AppContext& app, QWidget* parent, MfpCard& card, int level);

    bool requireReader();
    // A 2-byte address field, most significant byte first.
    static unsigned short address(const HexEdit& field);

    MfpCard& card_;
    QVBoxLayout* form_;
};

class CMfpLevel0Dlg : public MfpLevelPage {
    Q_OBJECT
  public:
    CMfpLevel0Dlg(AppContext& app, QWidget* parent, MfpCard& card);

  private:
    void writeRow(int row);
    void writeDefault();
    void switchLevel();

    std::array<HexEdit*, 4> addresses_{};
    std::array<HexEdit*, 4> data_{};
    QListWidget* failed_;
};

class CMfpLevel1Dlg : public MfpLevelPage {
    Q_OBJECT
  public:
    CMfpLevel1Dlg(AppContext& app, QWidget* parent, MfpCard& card);
    void nameParts() override;

  private:
    void switchLevel();

    ClassicSectorOps ops_;
    PurseGroup* purse_;
    OperationWindow* window_;
    QComboBox* level_;
    HexEdit* switchKey_;
};

class CMfpLevel2Dlg : public MfpLevelPage {
    Q_OBJECT
  public:
    CMfpLevel2Dlg(AppContext& app, QWidget* parent, MfpCard& card);

  private:
    void switchLevel();

    HexEdit* switchKey_;
};

class CMfpLevel3Dlg : public MfpLevelPage {
    Q_OBJECT
  public:
    CMfpLevel3Dlg(AppContext& app, QWidget* parent, MfpCard& card);
    void nameParts() override;

  private:
    enum class Command { FirstAuth, FollowingAuth, CommonWrite, CommonRead };
    struct Row {
        QLabel* caption;
        HexEdit* address;
        HexEdit* data;
        QPushButton* execute;
    };

    void purse(PurseOp op);
    void read();
    void write();
    void execute(Command command);
    // The block's sector key: 0 key A, 1 key B.
    bool authenticate(bool keyA, int block, const HexEdit& key, const QString& failure);
    // False, after reporting text and forgetting the card, unless code is 0.
    bool succeeded(int code, const QString& text);

    PurseGroup* purse_;
    OperationWindow* window_;
    std::array<Row, 4> rows_{};
};
