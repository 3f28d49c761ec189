#pragma once

#include <QString>

namespace kalmora {

// The per-user key/value store, keyed by application, group and key.
class Settings {
public:
    virtual ~Settings() = default;
    virtual QString value(const QString &group, const QString &key) const = 0;
    // False when the value could not be stored.
    virtual bool setValue(const QString &group, const QString &key, const QString &value) = 0;
};

class QtSettings final : public Settings {
public:
    // Empty file: the platform's per-user store for the application "Kalmora".
    explicit QtSettings(const QString &file = {});
    QString value(const QString &group, const QString &key) const override;
    bool setValue(const QString &group, const QString &key, const QString &value) override;

private:
    QString m_file;
};

} // namespace kalmora
