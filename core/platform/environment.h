#pragma once

#include <QString>

namespace kalmora {

// What the operating-system version query reports.
struct OsVersionInfo {
    int platformId = 0;
    int major = 0;
    int minor = 0;
};

class Environment {
public:
    virtual ~Environment() = default;
    // An environment variable; empty when unset.
    virtual QString variable(const QString &name) const = 0;
    // The folder holding the running program, without a trailing separator.
    virtual QString programFolder() const = 0;
    // The login name of the user.
    virtual QString userName() const = 0;
    virtual OsVersionInfo osVersion() const = 0;
    // The per-user data folder that stands in for the machine's program-data folder.
    virtual QString userDataFolder() const = 0;
    // The user's documents folder (where exports go); empty when there is none.
    virtual QString documentsFolder() const = 0;
};

class ProcessEnvironment final : public Environment {
public:
    QString variable(const QString &name) const override;
    QString programFolder() const override;
    QString userName() const override;
    OsVersionInfo osVersion() const override;
    QString userDataFolder() const override;
    QString documentsFolder() const override;
};

} // namespace kalmora
