#pragma once

class AnalyticsTracker;
class UserSettings;

// The services the window's controllers use, handed down from the object that
// owns them (the application, or a test). Both outlive every controller that
// is handed them.
struct AppServices {
    UserSettings& settings;
    AnalyticsTracker& tracker;
};
