// One reader port, serial or TCP, and while connected its open connection;
// and the list of every port the tool knows.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <array>

// The serial speeds the tool offers, by index.
inline constexpr std::array<int, 7> kBaudTable{9600, 14400, 19200, 28800, 38400, 57600, 115200};
// The port number that marks a TCP entry.
inline constexpr int kTcpPort = 256;

struct ConnectionInfo {
    // Serial for port 1-255, TCP entry number baudIndex for port 256; any
    // other port leaves type and portName empty.
    ConnectionInfo(int port = 1, int baudIndex = 2, const QString& friendlyName = QString());

    QString type; // "com", "tcp", or empty for an invalid port number
    int handle = -1;
    int port = 1;
    QString portName;
    QString friendlyName;
    QString ipAddr;
    int baudIndex = 2;
    int baudRate = 19200;
    int tcpPort = 0;

    // For serial entries an index outside the table keeps the last rate.
    void SetBaudIndex(int index);
    bool IsTcp() const { return type == QLatin1String("tcp"); }
    bool IsConnected() const { return handle != -1; }
    // The device address every library call carries.
    unsigned short icdev() const { return static_cast<unsigned short>(handle & 0xFFFF); }

    bool operator==(const ConnectionInfo&) const = default;
};

class PortList {
  public:
    void Clear();
    void Add(const ConnectionInfo& entry);
    void Set(const QString& name, const ConnectionInfo& entry);
    ConnectionInfo Get(const QString& name) const { return entries_.value(name); }
    bool Contains(const QString& name) const { return entries_.contains(name); }
    const QStringList& Order() const { return order_; }
    QList<ConnectionInfo> Entries() const { return entries_.values(); }

  private:
    QMap<QString, ConnectionInfo> entries_;
    QStringList order_;
};
