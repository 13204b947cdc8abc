// The shipped Chinese catalog covers every text the tool sends through it,
// in every window; every control can be found by screen readers; and a font
// for Chinese is installed, without which the texts would show as boxes.
#include <QAbstractButton>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "app/about_dialog.h"
#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "connection/setting_dlg.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

// Every control a user works with has a name a screen reader can speak and
// an object name automation can use.
QStringList unnamedControls(QWidget* window) {
    QStringList unnamed;
    const auto check = [&](QWidget* control) {
        if (control->accessibleName().isEmpty() || control->objectName().isEmpty())
            unnamed << QStringLiteral("%1 %2 in %3")
                           .arg(control->metaObject()->className(), control->objectName(),
                                window->objectName());
    };
    for (auto* w : window->findChildren<QAbstractButton*>())
        check(w);
    for (auto* w : window->findChildren<QLineEdit*>())
        if (qobject_cast<QComboBox*>(w->parentWidget()) == nullptr) check(w);
    for (auto* w : window->findChildren<QComboBox*>())
        check(w);
    return unnamed;
}

} // namespace

class CoverageTest : public QObject {
    Q_OBJECT
  private slots:
    void chineseCatalogCoversEveryWindow() {
        SimulatedReader sim;
        PrivateSettings settings;
        settings.put("LangID", "zh_CN");
        settings.put("ComPort", "200"); // fails to connect: its message is translated too
        ScriptedBoxes boxes;
        CTavistoApp app(binFolder(), boxes);
        QSet<QString> seen;
        app.catalog.setRecorder([&](const QString& text) { seen.insert(text); });
        QVERIFY(app.InitInstance());
        QVERIFY(app.catalog.size() > 100);
        CMainFrame* frame = app.mainFrame();

        QStringList unnamed;
        for (int type = 0; type < kCardTypes; ++type) {
            frame->OnCardType(type);
            unnamed << unnamedControls(frame->view()->page());
        }
        frame->OnDesCalculator();
        unnamed << unnamedControls(frame->desCalculator());
        CAboutDlg about(app, nullptr);
        unnamed << unnamedControls(&about);
        CSettingDlg console(app, nullptr);
        unnamed << unnamedControls(&console);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join("\n")));

        QStringList missing;
        static const QRegularExpression letter("[A-Za-z]");
        for (const QString& text : std::as_const(seen))
            if (text.contains(letter) && app.catalog.translate(text) == text) missing << text;
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable("no Chinese for: " + missing.join(" | ")));
        QVERIFY(seen.contains("Connect device failed!"));
        QVERIFY(seen.contains("Search Card"));

        // The menu follows the language; the standard buttons of Qt too.
        QCOMPARE(frame->menuBar()->actions().at(0)->text(), app.catalog.translate("File(&F)"));
        QVERIFY(frame->menuBar()->actions().at(0)->text() != "File(&F)");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
        app.ExitInstance();
    }

    void englishKeepsTheMenuEvenWithAnEnglishCatalog() {
        // The English catalog only holds the notes the program shows by key; the menu stays as built.
        RunningTool tool;
        QCOMPARE(tool.app->mainFrame()->menuBar()->actions().at(0)->text(), QString("File(&F)"));
        QCOMPARE(tool.app->catalog.size(), 4);
        for (int level = 0; level < 4; ++level) {
            const QString key = QStringLiteral("mfptips_operate_level%1").arg(level);
            QVERIFY(tool.app->Translate(key).startsWith(QStringLiteral("Security level %1").arg(level)));
        }
    }

    void aChineseFontIsInstalled() {
        QVERIFY(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());
    }
};

OSKELLE_TEST(CoverageTest);
#include "coverage_test.moc"
