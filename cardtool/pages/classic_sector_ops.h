// Reading, writing and the purse of a MIFARE Classic sector with a 6-byte
// key, behind a purse group and operation windows. The Mifare One page and
// the MifarePlus page's level 1 (where the card is a Classic) run the same
// steps with their own messages, their own card search, and one difference
// of order: whether the key is checked before or after looking for the card.
#pragma once

#include <QString>
#include <functional>

#include "widgets/purse_group.h"

class AppContext;
class HexEdit;
class OperationWindow;
class QWidget;

struct ClassicMessages {
    QString keyLength;    // the key field does not hold 6 bytes
    QString emptyInitial; // Initialize without a value
    QString emptyAmount;  // Increase or Decrease without a value
    QString initialized, increased, decreased, balanceRead, sectorRead, blockWritten;
    QString confirmTrailer; // asked before block 3 is written
    QString badAccessBits = QStringLiteral("The access bits must be three bytes, each condition matching its "
                                           "inverted copy. Nothing was written.");
};

class ClassicSectorOps {
  public:
    struct Behaviour {
        bool keyBeforeCard = false; // check the key (and confirm a trailer write) before looking for the card
        bool beepAfterRead = false;
        std::function<bool()> findCard; // true when a card is there to work on, searching if need be
        std::function<void()> cardLost; // after a failed authentication or card command
        std::function<void(qint32)> balanceShown = nullptr; // optional: after a balance was read and shown
    };

    ClassicSectorOps(AppContext& app, QWidget* owner, ClassicMessages messages, Behaviour behaviour);

    void purse(PurseGroup& group, PurseOp op);
    void read(OperationWindow& window);
    void write(OperationWindow& window);

  private:
    bool ready(const HexEdit& key, const std::function<bool()>& confirm);
    bool authenticate(bool keyA, int sector, const HexEdit& key);
    // False, after reporting the failure and forgetting the card, unless code
    // is 0 with the whole answer.
    bool succeeded(int code, const char* function, bool shortAnswer = false);

    AppContext& app_;
    QWidget* owner_;
    ClassicMessages messages_;
    Behaviour behaviour_;
};
