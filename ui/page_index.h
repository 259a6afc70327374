#pragma once
// The main window's pages by their fixed index, free of Qt: the pages say which one they are,
// and the main window's logic picks the page to open.
namespace rm7 {

// The saved "ActivePage" counts this way whether or not every page is built yet.
enum PageIndex : int {
    kPagePort = 0,
    kPageFirmware = 1,
    kPageConfiguration = 2,
    kPageCalibration = 3,
    kPageCommandTester = 4,
    kPageTerminal = 5,
};
inline constexpr int kPageCount = 6;

}  // namespace rm7
