#pragma once

#include <QSignalSpy>
#include <QTest>

// Waits until a viewport's frame spy stays empty for 200 ms, at most ten
// times over. Frames still owed to earlier changes may land late on a busy
// machine; a viewport that goes on drawing by itself never goes quiet, and
// the spy then holds its last frames for the caller's check.
inline void waitForQuiet(QSignalSpy& frames)
{
    for (int settle = 0; settle < 10; ++settle) {
        frames.clear();
        QTest::qWait(200);
        if (frames.isEmpty())
            return;
    }
}
