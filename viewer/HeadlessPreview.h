#pragma once

#include "ViewerFolders.h"

#include <QString>

#include <atomic>

// The information file and preview images of a conversion without a window,
// so that containers made in batch match those made in the window.
class HeadlessPreview {
public:
    // Returns one line for the console when the previews could not be made
    // (the info file is written in any case), empty when all went well.
    // A raised 'stop' ends the drawing at the next step, with no images.
    // The images are size x size; 0 draws them at the size containers keep.
    static QString write(const ViewerFolders& folders, const std::atomic<bool>* stop = nullptr, int size = 0);
};
