#include "tool_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QTest>
#include <cstdlib>
#include <map>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "simulator/scenario/scenario.h"

namespace tooltest {

namespace {
std::map<std::string, TestFactory>& registry() {
    static std::map<std::string, TestFactory> tests;
    return tests;
}
} // namespace

int registerTest(const char* sourceFile, TestFactory factory) {
    std::string name = sourceFile;
    name = name.substr(name.find_last_of('/') + 1);
    name = name.substr(0, name.rfind("_test.cpp"));
    registry()[name] = std::move(factory);
    return 0;
}

MessageBoxes::Answer ScriptedBoxes::show(QWidget*, const QString& text, const QString& caption, Icon icon,
                                         Buttons buttons) {
    shown.append({text, caption, icon, buttons});
    if (!answers.isEmpty()) return answers.takeFirst();
    return buttons == YesNo ? AnswerYes : AnswerOk;
}

PrivateSettings::PrivateSettings() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
}

void PrivateSettings::put(const QString& name, const QVariant& value) {
    QSettings settings("Keldrin", "Sendrik");
    settings.setValue(name, value);
}

QVariant PrivateSettings::stored(const QString& name) const {
    QSettings settings("Keldrin", "Sendrik");
    return settings.value(name);
}

bool PrivateSettings::exists() const { return QFile::exists(QSettings("Keldrin", "Sendrik").fileName()); }

SimulatedReader::SimulatedReader(const char* scenarioJson)
    : equipment_(sim::installAllFamilies(reader)), pty_(reader), tcp_(reader) {
    if (scenarioJson != nullptr) {
        sim::Scenario scenario = sim::parseScenario(scenarioJson, sim::allCardKinds());
        sim::placeSams(scenario.sams, *equipment_.sams);
        sim::applyScenario(std::move(scenario), reader);
    }
    pty_.start();
    tcp_.start(0);
    ::setenv("VARROK_COM1", pty_.path().c_str(), 1);
}

SimulatedReader::~SimulatedReader() {
    tcp_.stop();
    pty_.stop();
}

QString binFolder() { return QStringLiteral(OSKELLE_BIN_DIR); }

AppFolder::AppFolder() {
    for (const QString& name : {QStringLiteral("libVarrok.so"), QStringLiteral("Lang")})
        QFile::link(binFolder() + QLatin1Char('/') + name, dir_.filePath(name));
}

void AppFolder::put(const QString& name, const QByteArray& content) const {
    QFile file(dir_.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(content);
}

RunningTool::RunningTool(const char* scenarioJson, const QString& languageId) : sim(scenarioJson) {
    if (!languageId.isEmpty()) settings.put("LangID", languageId);
    app = std::make_unique<CTavistoApp>(folder.path(), boxes);
    started = app->InitInstance();
}

RunningTool::~RunningTool() {
    if (app) app->ExitInstance();
}

QWidget* RunningTool::page() const {
    return app && app->mainFrame() ? app->mainFrame()->view()->page() : nullptr;
}

void RunningTool::click(const QString& objectName) const {
    auto* button = find<QAbstractButton>(objectName);
    QVERIFY2(button != nullptr, qPrintable(objectName));
    QTest::mouseClick(button, Qt::LeftButton);
}

QString RunningTool::resultText() const { return app->mainFrame()->resultLine()->text(); }

} // namespace tooltest

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // "runner ClassName [QTest arguments]" runs one class; no name runs them all.
    const bool one = argc > 1 && argv[1][0] != '-';
    int failures = 0;
    for (auto& [name, factory] : tooltest::registry()) {
        if (one && name != argv[1]) continue;
        std::unique_ptr<QObject> test = factory();
        QStringList arguments{QString::fromLocal8Bit(argv[0])};
        for (int i = one ? 2 : 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        failures += QTest::qExec(test.get(), arguments);
    }
    return failures == 0 ? 0 : 1;
}
