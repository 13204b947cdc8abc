#include "app/app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/main_frame.h"

CTavistoApp::CTavistoApp(const QString& appDir, MessageBoxes& boxes) : AppContext(appDir, boxes) {
    connectionChanged_ = [this] {
        if (!frame_) return;
        frame_->UpdateTitle();
        frame_->UpdateCommands();
    };
}

CTavistoApp::~CTavistoApp() {
    closeFrame();
    if (qtTranslator_) QCoreApplication::removeTranslator(qtTranslator_.get());
}

bool CTavistoApp::InitInstance() {
    LoadSettings();
    catalog.load(QStringLiteral("%1/Lang/%2.po").arg(AppDir, LangID));
    loadQtTranslation();
    // COM initialisation would come here on Windows; there is nothing to set up on this platform.
    if (!library.bind(AppDir, boxes_)) return false;
    frame_ = std::make_unique<CMainFrame>(*this);
    resultLine_ = frame_.get();
    frame_->show();
    return true;
}

int CTavistoApp::ExitInstance() {
    // Closing the window closes every connected port; it may be closed already.
    if (frame_) frame_->close();
    closeFrame();
    library.unload();
    SaveSettings();
    return 0;
}

void CTavistoApp::loadQtTranslation() {
    // Standard buttons and dialogs of Qt itself follow the tool's language.
    if (LangID != QLatin1String("zh_CN")) return;
    qtTranslator_ = std::make_unique<QTranslator>();
    if (qtTranslator_->load(QStringLiteral("qtbase_zh_CN"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator_.get());
}

void CTavistoApp::closeFrame() {
    resultLine_ = nullptr;
    frame_.reset();
}
