#include "model.h"

namespace Velmora {

QList<GroupConfig> defaultGroupConfigs()
{
    QList<GroupConfig> configs;
    configs.reserve(GroupCount);
    for (int i = 0; i < GroupCount; ++i) {
        GroupConfig config;
        config.enabled = i < 9;
        config.total = i < 9 ? 6 : 0;
        configs.append(config);
    }
    return configs;
}

QList<int> enabledGroupIndices(const QList<GroupConfig> &configs)
{
    QList<int> indices;
    for (int i = 0; i < configs.size() && i < GroupCount; ++i) {
        if (configs.at(i).enabled)
            indices.append(i);
    }
    return indices;
}

void Roster::rebuildNameMaps()
{
    nameToId.clear();
    idToName.clear();
    const int m = maleCount();
    for (int i = 0; i < m; ++i) {
        nameToId.insert(maleNames.at(i), i + 1);
        idToName.insert(i + 1, maleNames.at(i));
    }
    for (int i = 0; i < femaleCount(); ++i) {
        nameToId.insert(femaleNames.at(i), m + i + 1);
        idToName.insert(m + i + 1, femaleNames.at(i));
    }
}

} // namespace Velmora
