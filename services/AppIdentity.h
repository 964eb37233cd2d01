#pragma once

#include "BuildConfig.h"

// Who this program says it is: to Qt (settings paths), to the usage tracker
// and in the about window.
namespace AppIdentity {
inline constexpr char applicationName[] = "Velmora3dEncoder";
inline constexpr char applicationVersion[] = VELMORA_VERSION;
inline constexpr char buildLabel[] = "(" VELMORA_BUILD_NUMBER ") " VELMORA_BUILD_DATE;
inline constexpr char organizationName[] = "Velmora GmbH";
inline constexpr int initialWindowWidth = 1000;
inline constexpr int initialWindowHeight = 600;
} // namespace AppIdentity
