#include "pages/des_calculator.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "chrome/accessible_names.h"
#include "chrome/tab_order.h"
#include "services/app_context.h"
#include "services/message_boxes.h"
#include "widgets/hex_edit.h"

CDesCalculatorDlg::CDesCalculatorDlg(AppContext& app, QWidget* owner)
    : QDialog(owner), app_(app), key_(new HexEdit(this, 16)), data_(new HexEdit(this, 64)),
      result_(new HexEdit(this)) {
    setObjectName("desCalculator");
    setWindowTitle("DES Caculator");
    key_->setObjectName("key");
    data_->setObjectName("data");
    result_->setObjectName("result");
    auto* encrypt = new QPushButton("Encrypt", this);
    auto* decrypt = new QPushButton("Decrypt", this);
    encrypt->setObjectName("encrypt");
    decrypt->setObjectName("decrypt");
    encrypt->setDefault(true);
    decrypt->setAutoDefault(false);
    connect(encrypt, &QPushButton::clicked, this, &CDesCalculatorDlg::OnEncrypt);
    connect(decrypt, &QPushButton::clicked, this, &CDesCalculatorDlg::OnDecrypt);

    auto* grid = new QGridLayout(this);
    int row = 0;
    for (auto [caption, field] : {std::pair{"Key", key_}, {"Data", data_}, {"Result", result_}}) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, 1, 2);
    }
    grid->addWidget(encrypt, row, 1);
    grid->addWidget(decrypt, row, 2);
    setMinimumWidth(560);
    app_.catalog.translateWindow(this);
    nameControls(this);
    orderTabsWhenShown(this);
}

void CDesCalculatorDlg::run(bool encrypt) {
    const QByteArray key = key_->bytes();
    const int keyBytes = key_->byteCount();
    if (keyBytes != 8 && keyBytes != 16) {
        app_.boxes().show(this, "Please input 8 or 16 bytes key in key area", "error", MessageBoxes::Stop,
                          MessageBoxes::Ok);
        return;
    }
    const QByteArray data = data_->bytes();
    const int dataBytes = data_->byteCount();
    unsigned char output[256] = {};
    // The field holds at most 64 bytes; the bound also covers a field made wider.
    if (dataBytes == 0 || dataBytes % 8 != 0 || dataBytes > static_cast<int>(sizeof output)) {
        app_.boxes().show(this, "date length must be 8 multiple in data area", "error", MessageBoxes::Stop,
                          MessageBoxes::Ok);
        return;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    if (encrypt)
        app_.api().des_encrypt(output, in, dataBytes, k, keyBytes);
    else
        app_.api().des_decrypt(output, in, dataBytes, k, keyBytes);
    result_->showBytes(output, dataBytes);
}
