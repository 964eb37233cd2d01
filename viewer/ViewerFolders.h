#pragma once

#include <QString>

// Where the viewer finds what it draws: the application's own resources (the
// grid) and the model folder of the workspace being shown, with the folder
// its information file and preview images go to. Handed down by whoever owns
// the workspaces.
struct ViewerFolders {
    QString applicationParentFolder; // holds res/
    QString modelFolder;
    QString metaFolder;
};
