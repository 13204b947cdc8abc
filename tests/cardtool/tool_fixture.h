// What the card tool's tests share: a registry of QTest classes (one runner
// program, one CTest entry per class), scripted message boxes, a private
// settings store, and a simulated reader on a pseudo-terminal that COM1 points to.
#pragma once

#include <QList>
#include <QObject>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

#include "services/message_boxes.h"
#include "simulator/commands/families.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"

class CTavistoApp;

namespace tooltest {

// Each test source holds one QTest class, run as "test_cardtool <file name without _test.cpp>".
using TestFactory = std::function<std::unique_ptr<QObject>()>;
int registerTest(const char* sourceFile, TestFactory factory);
#define OSKELLE_TEST(Class)                                                                                  \
    static const int registered##Class =                                                                     \
        tooltest::registerTest(__FILE__, [] { return std::make_unique<Class>(); })

// Records every box and answers from a script (OK, or Yes, when the script is empty).
class ScriptedBoxes : public MessageBoxes {
  public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon;
        Buttons buttons;
    };
    Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override;
    QList<Shown> shown;
    QList<Answer> answers;
};

// A settings store of the test's own, empty at first.
class PrivateSettings {
  public:
    PrivateSettings();
    // Stored values as the tool would find them at start.
    void put(const QString& name, const QVariant& value);
    QVariant stored(const QString& name) const;
    bool exists() const;

  private:
    QTemporaryDir dir_;
};

// A simulated reader with every card family, served over a pseudo-terminal
// that COM1 names, and over loopback TCP.
class SimulatedReader {
  public:
    explicit SimulatedReader(const char* scenarioJson = nullptr);
    ~SimulatedReader();
    sim::Reader reader;
    std::size_t requests() const { return reader.requestCount(); }
    int tcpPort() const { return tcp_.port(); }
    const std::string& ptyPath() const { return pty_.path(); }

  private:
    sim::Equipment equipment_;
    sim::PtyServer pty_;
    sim::TcpServer tcp_;
};

// The folder the build puts the tool, the library and Lang/ in.
QString binFolder();

// A folder of the test's own that looks like the tool's: the library and
// Lang/ linked in, free for the files the tool keeps beside itself
// ("ipaddr.ini", "AppConfig.ini", command books).
class AppFolder {
  public:
    AppFolder();
    QString path() const { return dir_.path(); }
    // Writes a file into the folder.
    void put(const QString& name, const QByteArray& content) const;

  private:
    QTemporaryDir dir_;
};

// A started tool on a simulated reader: settings, boxes and app together.
struct RunningTool {
    explicit RunningTool(const char* scenarioJson = nullptr, const QString& languageId = QString());
    ~RunningTool();
    SimulatedReader sim;
    AppFolder folder;
    PrivateSettings settings;
    ScriptedBoxes boxes;
    std::unique_ptr<CTavistoApp> app;
    bool started = false;

    QWidget* page() const;
    template <class T> T* find(const QString& objectName) const {
        return page() ? page()->findChild<T*>(objectName) : nullptr;
    }
    void click(const QString& objectName) const;
    QString resultText() const;
};

} // namespace tooltest
