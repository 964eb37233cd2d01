// Creates the OpenGL context engine tests draw with. Kept apart from GLEW:
// Qt's OpenGL headers and glew.h cannot meet in one file.
#pragma once

namespace enginetest {

// Makes one process-wide context (with depth and stencil) current on an
// offscreen surface; false when the platform offers none.
bool makeGlContextCurrent();

} // namespace enginetest
