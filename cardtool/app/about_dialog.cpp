#include "app/about_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "chrome/accessible_names.h"
#include "chrome/icons.h"
#include "chrome/tab_order.h"
#include "services/app_context.h"

CAboutDlg::CAboutDlg(AppContext& app, QWidget* parent) : QDialog(parent) {
    setObjectName("about");
    setWindowTitle("About Oskelle");
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(48, 48));
    auto* lines = new QVBoxLayout;
    auto* version = new QLabel(this);
    lines->addWidget(version);
    // The lines about the makers: description, company, web address, copyright.
    for (int index : {4, 5})
        lines->addWidget(new QLabel(app.AboutLine(index), this));
    auto* web = new QLabel(this);
    lines->addWidget(web);
    lines->addWidget(new QLabel(app.AboutLine(7), this));
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addLayout(lines, 0, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    app.catalog.translateWindow(this);
    nameControls(this);
    orderTabsWhenShown(this);
    // A version and a web address read the same in every language.
    version->setText("Oskelle V1.31");
    web->setText(app.AboutLine(6));
}
