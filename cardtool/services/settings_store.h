// The tool's remembered settings: "Keldrin"/"Sendrik" in the user's
// configuration folder (a normal user cannot write a machine-wide store).
// Values are typed the way the tool has always kept them: a number counts
// only if it reads as a 32-bit unsigned number, a text only if it fits 256
// bytes with its terminator; anything else reads as absent.
#pragma once

#include <QSettings>
#include <QString>
#include <optional>

class SettingsStore {
  public:
    SettingsStore();

    // False when nothing was ever stored (or the store cannot be read).
    bool exists() const;
    std::optional<quint32> readNumber(const QString& name) const;
    std::optional<QString> readText(const QString& name) const;
    void writeNumber(const QString& name, quint32 value);
    void writeText(const QString& name, const QString& value);
    // Writes what was set; a store that cannot be written is silently left as it was.
    void flush();

  private:
    QSettings settings_;
};
