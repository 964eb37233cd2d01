#pragma once

// Registers the icons, control button images and the compiled English
// translation (":/velmora3dencoder_en") with Qt's resource system.
// Safe to call more than once.
void initVelmoraResources();
