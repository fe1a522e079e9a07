// An entry of the action registry: a kind of action, known by its type key, with the factory that
// makes new actions of it. Entries register themselves when constructed, so the program's kinds
// are known before main() runs; registering a key again replaces the earlier entry.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class TsExperimentScript;
class TsExperimentScriptAction;

class TsExperimentScriptActionType
{
public:
    // Returns a new action owned by the caller, or null.
    using Factory = std::function<TsExperimentScriptAction *(TsExperimentScript *script)>;

    // An empty entry (no key, no factory); registers nothing.
    TsExperimentScriptActionType() = default;
    // Registers the entry.
    TsExperimentScriptActionType(const QString &key, const QString &displayName, bool isDefault,
                                 const Factory &factory);

    QString key() const { return m_key; }
    QString displayName() const { return m_displayName; }
    bool isDefault() const { return m_isDefault; }
    Factory factory() const { return m_factory; }
    bool isValid() const { return !m_key.isEmpty(); }

    static void registerType(const TsExperimentScriptActionType &type);
    // Null for an unknown key or when the factory makes nothing.
    static TsExperimentScriptAction *create(const QString &key, TsExperimentScript *script);
    // The entry of that key; an empty entry when there is none.
    static TsExperimentScriptActionType find(const QString &key);
    // The first default entry in key order, else the first entry; empty without entries.
    static TsExperimentScriptActionType defaultType();
    // All entries in key order.
    static QList<TsExperimentScriptActionType> types();

private:
    QString m_key;
    QString m_displayName;
    bool m_isDefault = false;
    Factory m_factory;
};
