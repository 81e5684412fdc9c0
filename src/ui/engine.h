// The UI engine: windows and controls built from design data, their attributes and events.
//
// Two engines implement it: the Win32 engine (real skinned windows drawn with GDI+) and the
// headless engine (the same control tree in memory). Every call is safe from any thread; the
// Win32 engine runs it on the UI thread and returns its result. Events are delivered on the
// UI thread. All text is GBK.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
    WindowEx,         // the skin object of a window
    Selectthefolder,  // tab container; its pages are IcoListbox controls
    PictureBox,
    Label,
    Button,
    Radiobutton,
    Checkbox,  // an on/off switch of its own; a click turns it over, then raises Click
    Progressbar,
    Editbox,
    Combobox,
    IcoListbox,
    SuperListbox,
    TransLabel,
    Icon,  // a small picture beside a label
    Timer,
    Menu,  // popup menu; items in `items`, "-" is a separator
    CommonDialog,
};

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// What a control is for, beyond its kind: the skin draws by role, never by name or size.
enum class Role {
    Plain,
    Title,      // a label that is the window's title line
    Close,      // an image button that closes or hides its window
    Separator,  // a transparent label drawn as a vertical rule
    Preview,    // a picture box that shows a placeholder until it has a picture
};

// What a window is for: the main window has a header band over its body.
enum class WindowRole { Dialog, Main };

// One design entry. `image` names a built-in picture (see assets/resources.rc); `items` holds
// the items of a combobox or menu; `pages` the page entries of a tab container.
struct ControlDesign {
    std::string name;
    Kind kind = Kind::Label;
    Rect rect;
    std::string caption;
    std::string image;
    std::vector<std::string> items;
    std::vector<ControlDesign> pages;
    bool visible = true;
    int value = 0;        // initial attribute 16 (radio button selected, page, position)
    bool accent = false;  // a button drawn as the window's main action
    Role role = Role::Plain;
};

struct WindowDesign {
    std::string name;
    std::string title;
    int width = 0, height = 0;
    bool visible = true;
    // The skin draws its own close box (for windows whose design has no close button).
    bool skinCloseBox = false;
    std::vector<ControlDesign> controls;
    WindowRole role = WindowRole::Dialog;
};

using WindowId = int;   // 0: none
using ControlId = int;  // 0: none
using ImageId = int;    // 0: none (an image that could not be decoded)

enum class EventKind {
    Created,           // window
    CloseRequested,    // window; the handler's answer says whether the window may close
    Destroying,        // window
    Tray,              // window; value: 1 left up, 2 left double-click, 3 right up / menu key
    Click,             // button, radio button
    PageChanged,       // tab container; value: new page position
    ItemChosen,        // icon list; value: 0-based item position
    RowChosen,         // super list; value: 0-based row
    TextChanged,       // edit box
    SelectionChanged,  // combobox; value: 0-based index
    Tick,              // timer
    MenuChosen,        // menu; value: 0-based item position (separators count)
    EndRequested,      // main window; another process asked the program to end (ui/program_window.h)
    ShowRequested,     // main window; a second start asked the running copy to come forward
};

struct Event {
    EventKind kind;
    WindowId window = 0;
    ControlId control = 0;  // 0 for window events
    int value = 0;
};

// Returns the answer for CloseRequested (true: may close); ignored for other events.
using EventHandler = std::function<bool(const Event&)>;

// Item-button element callback: (event code, 0-based item position). A click gives 65538.
using ElemCallback = std::function<void(int code, int item)>;
constexpr int kElemClickCode = 65538;

// Attribute numbers.
namespace attr {
constexpr int kLeft = 0;
constexpr int kTop = 1;
constexpr int kWidth = 2;
constexpr int kHeight = 3;
constexpr int kVisible = 8;
constexpr int kValue = 16;             // tab: current page; radio: selected; progress: position; picture
constexpr int kCaption = 20;           // label caption (also any control's caption)
constexpr int kCurrentSelection = 37;  // combobox
constexpr int kText = 38;              // edit box
constexpr int kInterval = 100;         // timer, milliseconds, 0 = stopped
}  // namespace attr

enum class WindowState { Normal, Minimized };

class Engine {
  public:
    virtual ~Engine() = default;

    // Builds the window and its controls; delivers Created before returning. The handler gets
    // every event of the window and its controls.
    virtual WindowId CreateWindowFrom(const WindowDesign& design, EventHandler handler) = 0;
    // Runs the window modally: returns when it has been destroyed.
    virtual void RunModal(WindowId window) = 0;
    virtual void DestroyWindow(WindowId window) = 0;
    virtual bool WindowExists(WindowId window) = 0;
    virtual void ShowWindow(WindowId window, bool shown) = 0;
    virtual bool IsWindowVisible(WindowId window) = 0;
    virtual void SetWindowState(WindowId window, WindowState state) = 0;
    virtual WindowState GetWindowState(WindowId window) = 0;
    // The system's minimise call on the window handle.
    virtual void MinimizeWindow(WindowId window) = 0;
    virtual void BringToFront(WindowId window) = 0;
    virtual std::string WindowTitle(WindowId window) = 0;
    // Client size in design pixels.
    virtual Rect WindowRect(WindowId window) = 0;

    // A control of the window by design name (pages of tab containers included); 0 if none.
    virtual ControlId FindControl(WindowId window, const std::string& name) = 0;
    virtual WindowId WindowOf(ControlId control) = 0;
    virtual std::string ControlName(ControlId control) = 0;
    virtual void Redraw(ControlId control) = 0;

    virtual void SetInt(ControlId control, int attribute, int value) = 0;
    virtual int GetInt(ControlId control, int attribute) = 0;
    virtual void SetText(ControlId control, int attribute, const std::string& text) = 0;
    virtual std::string GetText(ControlId control, int attribute) = 0;
    // Picture box picture from encoded image bytes (empty bytes clear it).
    virtual void SetPicture(ControlId control, const std::string& bytes) = 0;

    // Message box with title and text; `button` replaces the default caption when not empty;
    // `owner` 0 for none. Returns when the box is closed.
    virtual void MsgBox(const std::string& title, const std::string& text, const std::string& button,
                        WindowId owner) = 0;

    // Notification-area icon of the window (the program icon) with its tooltip.
    virtual void AddTrayIcon(WindowId window, const std::string& tooltip) = 0;
    virtual void RemoveTrayIcon(WindowId window) = 0;
    virtual bool HasTrayIcon(WindowId window) = 0;
    // Pops the menu up as a notification-area menu: the owner comes to the foreground, the
    // menu's right edge sits `dx` left of the cursor and its top `dy` above it; a null
    // message is posted to the owner when it closes. The choice arrives as MenuChosen.
    virtual void PopupTrayMenu(ControlId menu, int dx, int dy) = 0;

    // Icon list: items in insertion order. position -1 appends / deletes all.
    virtual ImageId LoadImageEx(const std::string& bytes, int width, int height) = 0;
    virtual void DestroyImage(ImageId image) = 0;
    virtual void InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) = 0;
    virtual void DeleteIcoItem(ControlId list, int position) = 0;
    virtual int IcoItemCount(ControlId list) = 0;
    virtual std::string IcoItemTitle(ControlId list, int position) = 0;
    virtual bool IcoItemHasImage(ControlId list, int position) = 0;

    // Per-item image button elements of an icon list.
    virtual int ElemCount(ControlId list, int elemKind) = 0;
    virtual void InsertElem(ControlId list, int elemKind) = 0;
    virtual void SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) = 0;
    virtual void SetElemImageData(ControlId list, int elemKind, int item, ImageId image) = 0;
    virtual bool ElemHasImage(ControlId list, int elemKind, int item) = 0;

    // No redraw of the control while locked; unlock redraws. Locks nest.
    virtual void LockUpdate(ControlId control) = 0;
    virtual void UnlockUpdate(ControlId control) = 0;

    // Super list: columns and cell texts read back as written.
    virtual void InsertColumn(ControlId list, int position, const std::string& title, int width) = 0;
    virtual int ColumnCount(ControlId list) = 0;
    virtual int InsertRow(ControlId list, int position) = 0;   // returns the row position
    virtual void DeleteRow(ControlId list, int position) = 0;  // -1: all
    virtual int RowCount(ControlId list) = 0;
    virtual void SetCell(ControlId list, int row, int column, const std::string& text) = 0;
    virtual std::string GetCell(ControlId list, int row, int column) = 0;

    // Per-page 32-bit value of a tab container, initially 0.
    virtual void SetTabData(ControlId tabs, int page, uint32_t value) = 0;
    virtual uint32_t GetTabData(ControlId tabs, int page) = 0;

    // Runs the task on the UI thread later and returns at once: how a worker asks for drawing
    // without waiting for the UI thread. Tasks run in the order they were posted.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace ui
