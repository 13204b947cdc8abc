// Where the card tool finds its TCP readers: a user's own "ipaddr.ini" beside
// the settings store wins over the one beside the tool, which still counts
// when the user has none (the build folder's behaviour).
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include "connection/port_scan.h"
#include "tool_fixture.h"

using namespace tooltest;

class ReaderListTest : public QObject {
    Q_OBJECT
  private slots:
    void usersFileWinsOverTheToolsFolder_data() {
        QTest::addColumn<QByteArray>("usersFile");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("only beside the tool") << QByteArray() << QStringList{"TCP001 <127.0.0.1:4000>"};
        QTest::newRow("the user's own") << QByteArray("[TCP002]\nipaddr=127.0.0.2\ntcpport=4002\n")
                                        << QStringList{"TCP002 <127.0.0.2:4002>"};
    }
    void usersFileWinsOverTheToolsFolder() {
        QFETCH(QByteArray, usersFile);
        const PrivateSettings settings;
        const AppFolder folder;
        folder.put("ipaddr.ini", "[TCP001]\nipaddr=127.0.0.1\ntcpport=4000\n");
        if (!usersFile.isEmpty()) {
            const QString store = QSettings("Keldrin", "Sendrik").fileName();
            QVERIFY(QDir().mkpath(QFileInfo(store).absolutePath()));
            QFile file(QFileInfo(store).absolutePath() + "/ipaddr.ini");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(usersFile);
        }
        PortList list;
        ConnectionInfo current;
        RefreshPortList(list, current, folder.path(), [](QList<unsigned>&, QStringList&) { return true; });
        QStringList listed;
        for (const QString& name : list.Order())
            listed << name + " " + list.Get(name).friendlyName;
        QTEST(listed, "expected");
    }
};

OSKELLE_TEST(ReaderListTest);
#include "reader_list_test.moc"
