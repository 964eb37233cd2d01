#include "ImportOptions.h"

namespace {

template <typename Enum>
bool setFromName(const QStringList& names, const QString& name, Enum* value)
{
    const int index = names.indexOf(name);
    if (index < 0)
        return false;
    *value = Enum(index);
    return true;
}

} // namespace

const QStringList& ImportOptions::groupingNames()
{
    static const QStringList kNames {QStringLiteral("none"), QStringLiteral("root"), QStringLiteral("take")};
    return kNames;
}

const QStringList& ImportOptions::cullingNames()
{
    static const QStringList kNames {QStringLiteral("off"), QStringLiteral("ccw"), QStringLiteral("cw"),
                                     QStringLiteral("material")};
    return kNames;
}

bool ImportOptions::setGroupingName(const QString& name) { return setFromName(groupingNames(), name, &grouping); }

bool ImportOptions::setCullingName(const QString& name) { return setFromName(cullingNames(), name, &culling); }
