#include "services/settings_store.h"

#include <QFileInfo>

namespace {
constexpr int kTextBuffer = 256; // bytes, with the terminating NUL
}

SettingsStore::SettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, "Keldrin", "Sendrik") {}

bool SettingsStore::exists() const {
    return QFileInfo::exists(settings_.fileName()) && settings_.status() == QSettings::NoError;
}

std::optional<quint32> SettingsStore::readNumber(const QString& name) const {
    const QVariant value = settings_.value(name);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    const QString text = value.toString();
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const qulonglong number = text.toULongLong();
    if (number > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<quint32>(number);
}

std::optional<QString> SettingsStore::readText(const QString& name) const {
    const QVariant value = settings_.value(name);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    const QString text = value.toString();
    if (text.toUtf8().size() >= kTextBuffer) return std::nullopt;
    return text;
}

void SettingsStore::writeNumber(const QString& name, quint32 value) {
    settings_.setValue(name, QString::number(value));
}

void SettingsStore::writeText(const QString& name, const QString& value) { settings_.setValue(name, value); }

void SettingsStore::flush() { settings_.sync(); }
