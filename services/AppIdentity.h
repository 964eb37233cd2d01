#pragma once

// Who this program says it is: to Qt (settings paths), to the usage tracker
// and in the about window.
namespace AppIdentity {
inline constexpr char applicationName[] = "Velmora3dEncoder";
inline constexpr char applicationVersion[] = "1.7";
inline constexpr char buildLabel[] = "(521) 2016-09-21";
inline constexpr char organizationName[] = "Velmora GmbH";
inline constexpr int initialWindowWidth = 1000;
inline constexpr int initialWindowHeight = 600;
} // namespace AppIdentity
