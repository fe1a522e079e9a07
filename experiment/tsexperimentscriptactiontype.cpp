#include "experiment/tsexperimentscriptactiontype.h"

#include "experiment/tsexperimentscriptactionsetchannelloopctrl.h"
#include "experiment/tsexperimentscriptactionsetchannelvalue.h"

#include <QMap>

namespace {

// Created on first use, so that entries may register from any translation unit's static
// initialisation, whatever the order.
QMap<QString, TsExperimentScriptActionType> &registry()
{
    static QMap<QString, TsExperimentScriptActionType> entries;
    return entries;
}

// The program's kinds live here rather than beside their classes: the application is linked from
// a static library, and an object file that nothing refers to would be left out together with
// its registration.
const TsExperimentScriptActionType
    setChannelValueType(QString::fromLatin1(TsExperimentScriptActionSetChannelValue::TypeKey),
                        QStringLiteral("Setpoint Value"), true, [](TsExperimentScript *script) {
                            return new TsExperimentScriptActionSetChannelValue(script);
                        });

const TsExperimentScriptActionType
    setChannelLoopCtrlType(QString::fromLatin1(TsExperimentScriptActionSetChannelLoopCtrl::TypeKey),
                           QStringLiteral("Control"), false, [](TsExperimentScript *script) {
                               return new TsExperimentScriptActionSetChannelLoopCtrl(script);
                           });

} // namespace

TsExperimentScriptActionType::TsExperimentScriptActionType(const QString &key,
                                                           const QString &displayName,
                                                           bool isDefault, const Factory &factory)
    : m_key(key)
    , m_displayName(displayName)
    , m_isDefault(isDefault)
    , m_factory(factory)
{
    registerType(*this);
}

void TsExperimentScriptActionType::registerType(const TsExperimentScriptActionType &type)
{
    if (type.isValid())
        registry().insert(type.key(), type);
}

TsExperimentScriptAction *TsExperimentScriptActionType::create(const QString &key,
                                                               TsExperimentScript *script)
{
    const auto it = registry().constFind(key);
    if (it == registry().constEnd() || !it->m_factory)
        return nullptr;
    return it->m_factory(script);
}

TsExperimentScriptActionType TsExperimentScriptActionType::find(const QString &key)
{
    return registry().value(key);
}

TsExperimentScriptActionType TsExperimentScriptActionType::defaultType()
{
    for (const TsExperimentScriptActionType &type : qAsConst(registry())) {
        if (type.isDefault())
            return type;
    }
    return registry().isEmpty() ? TsExperimentScriptActionType() : registry().first();
}

QList<TsExperimentScriptActionType> TsExperimentScriptActionType::types()
{
    return registry().values();
}
