#pragma once

// Why a model is opened. A reload keeps what the user looks at (camera,
// selection, clip) and stays quiet when it fails; every other way clears
// the views first and says in a box why a file could not be opened.
enum class OpenReason {
    Menu, // File > Open or the tool bar
    Drop, // dropped onto the viewport
    RecentFile, // File > Open Recent
    CommandLine, // named when the program started
    SystemEvent, // handed over by the operating system
    Reload, // the file changed on disk
};
