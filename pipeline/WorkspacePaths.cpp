#include "WorkspacePaths.h"

WorkspacePaths WorkspacePaths::forHash(const QString& tempFolder, const QString& modelHash)
{
    WorkspacePaths p;
    p.modelHash = modelHash;
    p.companyFolder = tempFolder + QStringLiteral("/Velmora3dEncoder/");
    p.root = p.companyFolder + modelHash;
    p.res = p.root + QStringLiteral("/res");
    p.model = p.res + QStringLiteral("/model");
    p.modelFile = p.model + QStringLiteral("/model.gpb");
    p.tex = p.model + QStringLiteral("/tex");
    p.meta = p.model + QStringLiteral("/.meta");
    p.modelShaders = p.model + QStringLiteral("/shaders");
    p.relativeModel = QStringLiteral("Velmora3dEncoder/") + modelHash + QStringLiteral("/res/model");
    return p;
}
