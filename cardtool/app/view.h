// CTavistoView: the main window's view. It shows exactly one card page, the
// one of the current card type, on a soft vertical gradient.
#pragma once

#include <QPointer>
#include <QWidget>

class AppContext;

class CTavistoView : public QWidget {
    Q_OBJECT
  public:
    CTavistoView(AppContext& app, QWidget* parent);

    // Replaces the current page by a new page of the card type.
    void ShowPage(int cardType);
    // The settings window; true when closed with OK.
    bool OpenSettings();

    QWidget* page() const { return page_; }
    int cardType() const { return cardType_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layOutPage();

    AppContext& app_;
    QPointer<QWidget> page_;
    int cardType_ = -1;
};
