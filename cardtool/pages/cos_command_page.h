// CosCommandPage: what the pages that send APDUs to a card share (the
// ISO 14443-4 page and the SAM page).
#pragma once

#include <functional>
#include <optional>

#include "pages/card_page.h"
#include "widgets/command_book.h"

class DigitEdit;
class QPlainTextEdit;

// What the pages that send APDUs share: the time-out field, the command field
// with its book, Send, and the log of answers with Clear. The book is loaded
// when the page is made and written back when it goes, if it changed.
class CosCommandPage : public CardPage {
    Q_OBJECT
  public:
    // The most a command length byte can tell the library.
    static constexpr int kMaxCommandBytes = 255;

    ~CosCommandPage() override;

    const CommandBook& book() const { return book_; }

  protected:
    CosCommandPage(AppContext& app, QWidget* parent, const QString& bookFile);

    // Send: each page sends through its own library call.
    virtual void sendCommand() = 0;

    // One exchange with the card: command, its length, the answer buffer (256
    // bytes), its length, the time-out in milliseconds.
    using Exchange =
        std::function<int(unsigned char*, unsigned char, unsigned char*, unsigned char*, unsigned)>;
    // Checks the time-out and the command, books the command, sends it and logs
    // the answer; failName names the exchange in the result line.
    void send(const QString& failName, const Exchange& exchange);
    void clearAnswers();
    void openBook();

    DigitEdit* timeout_;
    HexEdit* command_;
    QPushButton* bookButton_;
    QPushButton* sendButton_;
    QPlainTextEdit* answers_;
    QPushButton* clearButton_;

  private:
    // The time-out field's milliseconds, when it holds a number from 0 to 100000.
    std::optional<unsigned> timeoutMs() const;
    void refuse(const QString& text);

    CommandBook book_;
};
