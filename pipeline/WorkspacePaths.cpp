#include "WorkspacePaths.h"

#include <QDir>

WorkspacePaths WorkspacePaths::forHash(const QString& companyFolder, const QString& modelHash)
{
    WorkspacePaths p;
    p.modelHash = modelHash;
    p.companyFolder = companyFolder;
    p.root = p.companyFolder + modelHash;
    p.res = p.root + QStringLiteral("/res");
    p.model = p.res + QStringLiteral("/model");
    p.modelFile = p.model + QStringLiteral("/model.gpb");
    p.tex = p.model + QStringLiteral("/tex");
    p.meta = p.model + QStringLiteral("/.meta");
    p.modelShaders = p.model + QStringLiteral("/shaders");
    p.relativeModel = QDir(companyFolder).dirName() + QLatin1Char('/') + modelHash + QStringLiteral("/res/model");
    return p;
}

QString WorkspacePaths::standardCompanyFolder(const QString& tempFolder)
{
    return tempFolder + QStringLiteral("/Velmora3dEncoder/");
}
