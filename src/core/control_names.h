// Design names of every control of the seven windows, so that the designs and the code that
// addresses a control spell each name once. A name is unique within its window only, so each
// window has its own namespace. The tab pages' list names live with the categories.
#pragma once

namespace core::controls {

namespace main_window {
// The window's skin object.
inline constexpr const char* kSkin = "窗口EX1";
inline constexpr const char* kLogo = "图片框EX1";
inline constexpr const char* kConnectTimer = "时钟1";
inline constexpr const char* kTrayMenu = "菜单";
inline constexpr const char* kView4K = "单选框EX1";
inline constexpr const char* kViewHd = "单选框EX2";
inline constexpr const char* kViewDynamic = "单选框EX3";
inline constexpr const char* kFirstPage = "按钮EX1";
inline constexpr const char* kPreviousPage = "按钮EX2";
inline constexpr const char* kNextPage = "按钮EX3";
inline constexpr const char* kPageBox = "编辑框EX1";
inline constexpr const char* kTotalLabel = "标签EX1";
inline constexpr const char* kLoading = "加载图片";
inline constexpr const char* kMinimize = "destroy1";
inline constexpr const char* kSettings = "destroy2";
}  // namespace main_window

namespace detail_window {
inline constexpr const char* kTitle = "标签EX8";
inline constexpr const char* kPicture = "图片框EX1";
inline constexpr const char* kTextLine = "标签EX1";
inline constexpr const char* kSizeIcon = "图片框EX2";
inline constexpr const char* kSizeLabel = "标签EX2";
// The icons beside the first and second count labels.
inline constexpr const char* kFirstCountIcon = "图片框EX3";
inline constexpr const char* kSecondCountIcon = "图片框EX4";
inline constexpr const char* kFirstCount = "标签EX3";
inline constexpr const char* kSecondCount = "标签EX4";
inline constexpr const char* kTextBlock = "标签EX5";
inline constexpr const char* kPathLabel = "标签EX6";
inline constexpr const char* kCategoryLabel = "标签EX7";
inline constexpr const char* kFavourite = "按钮EX1";
inline constexpr const char* kDownload = "按钮EX2";
}  // namespace detail_window

namespace download_window {
inline constexpr const char* kTitle = "标签EX7";
inline constexpr const char* kNodeLabel = "标签EX5";
inline constexpr const char* kSponsorLabel = "标签EX6";
inline constexpr const char* kProgressBar = "进度条EX1";
// The four progress texts, left to right.
inline constexpr const char* kProgressText1 = "标签EX4";
inline constexpr const char* kProgressText2 = "标签EX1";
inline constexpr const char* kProgressText3 = "标签EX2";
inline constexpr const char* kProgressText4 = "标签EX3";
inline constexpr const char* kChangeNode = "按钮EX1";
inline constexpr const char* kSponsor = "按钮EX2";
inline constexpr const char* kProgressTimer = "时钟1";
}  // namespace download_window

namespace node_window {
inline constexpr const char* kNodeList = "超级列表框EX1";
inline constexpr const char* kConfirm = "按钮EX1";
}  // namespace node_window

namespace settings_window {
inline constexpr const char* kTitle = "标签EX1";
// The vertical bar between the headings and the settings.
inline constexpr const char* kSeparator = "透明标签1";
// Headings of the four sections, top to bottom.
inline constexpr const char* kGeneralHeading = "标签EX2";
inline constexpr const char* kNodeHeading = "标签EX6";
inline constexpr const char* kRotationHeading = "标签EX5";
inline constexpr const char* kFolderHeading = "标签EX3";
inline constexpr const char* kAutoStart = "单选框EX1";
// The advice under the start-up switch.
inline constexpr const char* kAutoStartHint = "标签EX8";
inline constexpr const char* kNodeLabel = "标签EX7";
inline constexpr const char* kChangeNode = "按钮EX4";
inline constexpr const char* kOpenRotation = "按钮EX3";
inline constexpr const char* kFolderLabel = "标签EX4";
inline constexpr const char* kChangeFolder = "按钮EX1";
inline constexpr const char* kOpenFolder = "按钮EX2";
inline constexpr const char* kFolderDialog = "通用对话框1";
// Opens the display choices.
inline constexpr const char* kOpenDisplay = "按钮EX5";
}  // namespace settings_window

namespace rotation_window {
inline constexpr const char* kTitle = "标签EX1";
// The rotation category: random, 4K or HD.
inline constexpr const char* kCategoryCombo = "组合框EX1";
inline constexpr const char* kCategoryCaption = "标签EX2";
// The subject choice: one fixed item and no handler.
inline constexpr const char* kSubjectCombo = "组合框EX2";
inline constexpr const char* kSubjectCaption = "标签EX3";
inline constexpr const char* kPeriodBox = "编辑框EX1";
// The texts before and after the period box, and the two hints under it.
inline constexpr const char* kPeriodCaption = "标签EX4";
inline constexpr const char* kPeriodUnit = "标签EX5";
inline constexpr const char* kSubjectHint = "标签EX6";
inline constexpr const char* kPeriodHint = "标签EX7";
}  // namespace rotation_window

namespace exit_window {
// The question the window asks.
inline constexpr const char* kQuestion = "标签EX1";
inline constexpr const char* kConfirm = "按钮EX1";
inline constexpr const char* kCancel = "按钮EX2";
}  // namespace exit_window

namespace display_window {
inline constexpr const char* kTitle = "标签EX1";
inline constexpr const char* kFitCaption = "标签EX2";
inline constexpr const char* kFitCombo = "组合框EX1";
inline constexpr const char* kFitHint = "标签EX3";
inline constexpr const char* kPerMonitor = "选择框EX1";
inline constexpr const char* kPauseFullScreen = "选择框EX2";
inline constexpr const char* kPauseOnBattery = "选择框EX3";
inline constexpr const char* kPauseHint = "标签EX4";
}  // namespace display_window

// Close buttons of the frameless windows.
inline constexpr const char* kCloseButton = "destroy";

}  // namespace core::controls
