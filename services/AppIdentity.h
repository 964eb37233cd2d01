#pragma once

#include "BuildConfig.h"

// Who this program says it is: to Qt (settings paths), to the usage tracker
// and in the about window.
namespace AppIdentity {
inline constexpr char kApplicationName[] = "Velmora3dEncoder";
inline constexpr char kApplicationVersion[] = VELMORA_VERSION;
inline constexpr char kBuildLabel[] = "(" VELMORA_BUILD_NUMBER ") " VELMORA_BUILD_DATE;
inline constexpr char kOrganizationName[] = "Velmora GmbH";
inline constexpr int kInitialWindowWidth = 1000;
inline constexpr int kInitialWindowHeight = 600;
} // namespace AppIdentity
