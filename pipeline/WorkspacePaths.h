#pragma once

#include <QString>

// The folders of one model's workspace, computed once. Work that runs for a
// while (an encoder run, an unpack, an export) takes a copy when it starts, so
// that opening another model meanwhile cannot redirect it into a different
// workspace half way through.
struct WorkspacePaths {
    QString modelHash; // name of the workspace folder, "." when no model is open
    QString companyFolder; // <temp>/Velmora3dEncoder/ or a private stand-in (trailing slash)
    QString root; // companyFolder + modelHash
    QString res; // root + "/res"; containers are unpacked here
    QString model; // root + "/res/model"; everything that goes into a vm3 file
    QString modelFile; // model + "/model.gpb"
    QString tex; // model + "/tex"
    QString meta; // model + "/.meta"
    QString modelShaders; // model + "/shaders"
    QString relativeModel; // company folder's name + "/" + modelHash + "/res/model"

    static WorkspacePaths forHash(const QString& companyFolder, const QString& modelHash);
    // <temp>/Velmora3dEncoder/
    static QString standardCompanyFolder(const QString& tempFolder);
    bool hasModel() const { return modelHash != QLatin1String("."); }
};
