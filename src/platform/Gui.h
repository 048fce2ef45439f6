// The window system half of the seam: visible top-level windows and the child
// controls the forms are made of (static labels, push buttons, option buttons).
//
// On Windows these are real windows of the system's own control classes, with
// texts converted from code page 932 to UTF-16 for display. The host build is
// headless: every window keeps its state (text, enabled, checked, visible,
// minimised), clicks and activation are delivered as the same messages, and
// nothing is drawn.
//
// Windows made here are windows of the seam like the hidden ones: their
// messages come through the thread's queue, PostMessage and SendMessage reach
// them, GetWindowData and SetWindowData hold their user data (top-level
// windows only: controls belong to the system's classes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Paint.h"
#include "platform/Platform.h"
#include "platform/SystemRegion.h"

namespace plat {

constexpr std::uint32_t MsgActivate = 0x0006;    // wParam low word: WaInactive, WaActive, WaClickActive
constexpr std::uint32_t MsgSetFocus = 0x0007;
constexpr std::uint32_t MsgPaint = 0x000F;
constexpr std::uint32_t MsgNcHitTest = 0x0084;
constexpr std::uint32_t MsgCommand = 0x0111;     // from a control: wParam high word the notification, lParam the control
constexpr std::uint32_t MsgSysCommand = 0x0112;
constexpr std::uint32_t MsgButtonClick = 0x00F5;  // BM_CLICK: a control clicks itself as the mouse would
constexpr std::uint32_t MsgEraseBackground = 0x0014;
constexpr std::uint32_t MsgSetCursor = 0x0020;
constexpr std::uint32_t MsgKeyDown = 0x0100;
constexpr std::uint32_t MsgChar = 0x0102;
constexpr std::uint32_t MsgMouseMove = 0x0200;  // lParam: x in the low word, y in the high word (signed)
constexpr std::uint32_t MsgLButtonDown = 0x0201;
constexpr std::uint32_t MsgLButtonUp = 0x0202;
constexpr std::uint32_t MsgLButtonDblClk = 0x0203;
constexpr std::uint32_t MsgRButtonDown = 0x0204;
constexpr std::uint32_t MsgRButtonUp = 0x0205;

constexpr LResult HitClient = 1;  // answers of MsgNcHitTest
constexpr LResult HitCaption = 2;
constexpr WParam KeyTab = 0x09;
constexpr WParam KeyReturn = 0x0D;
constexpr WParam KeyEscape = 0x1B;
constexpr int IdCancel = 2;  // MsgCommand from the dialog keys: Esc asks the window to cancel

constexpr WParam WaInactive = 0;
constexpr WParam WaActive = 1;
constexpr WParam WaClickActive = 2;
constexpr std::uint16_t NotifyClicked = 0;  // BN_CLICKED

inline std::uint16_t LowWord(std::uintptr_t V) { return static_cast<std::uint16_t>(V & 0xFFFF); }
inline std::uint16_t HighWord(std::uintptr_t V) { return static_cast<std::uint16_t>((V >> 16) & 0xFFFF); }

inline int PointX(LParam lParam) { return static_cast<std::int16_t>(LowWord(static_cast<std::uintptr_t>(lParam))); }
inline int PointY(LParam lParam) { return static_cast<std::int16_t>(HighWord(static_cast<std::uintptr_t>(lParam))); }
inline LParam MakePoint(int X, int Y) {
  return static_cast<LParam>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(Y)) << 16) |
                             static_cast<std::uint16_t>(X));
}

enum class FormBorder { Single, None, Dialog };
// Glyph buttons are push buttons that show a picture left of their text.
enum class ControlKind { PushButton, RadioButton, GlyphButton };
enum class ShowCommand { Hide, Show, ShowNoActivate, Minimize, Maximize, Restore };

// The class of a top-level window; its procedure receives every message of its
// windows (answer what you do not handle with DefWindowProc).
bool RegisterFormClass(const char* ClassName, WindowProc Proc);

// A top-level window, created hidden: Where.Left and Where.Top place the
// window (frame included) on the screen, Where.Width and Where.Height are its
// client area; the frame, if any, is added around. Owner, when not 0, is the
// window that carries the task-bar button (see CreateApplicationWindow).
WindowHandle CreateFormWindow(const char* ClassName, const std::string& Caption, const Bounds& Where,
                              FormBorder Border, WindowHandle Owner);

// The window that stands for the whole application on the task bar and owns
// its forms: it shows Title there, is never seen itself, and when minimised
// takes its forms with it. When activated it passes activation on to the form
// that was active last.
WindowHandle CreateApplicationWindow(const std::string& Title);

// A child control of Parent, created visible; Where is in Parent's client area.
WindowHandle CreateControl(WindowHandle Parent, ControlKind Kind, const std::string& Text, const Bounds& Where);

// The system's own dialog keys for the window that Msg is for, when it lies in
// the form Form: Tab moves the focus through the controls in creation order,
// Esc sends Form MsgCommand with IdCancel. True when the message was used.
// The host build has no keyboard and answers false.
bool IsDialogMessage(WindowHandle Form, const Message& Msg);
// The top-level window that Window lies in (itself for a top-level window).
WindowHandle GetRootWindow(WindowHandle Window);

// Destroys a window of this header (children go with their parent).
bool DestroyGuiWindow(WindowHandle Window);

void SetWindowText(WindowHandle Window, const std::string& Text);
std::string GetWindowText(WindowHandle Window);
void EnableWindow(WindowHandle Window, bool Enabled);
bool IsWindowEnabled(WindowHandle Window);
void SetButtonCheck(WindowHandle Control, bool Checked);
bool GetButtonCheck(WindowHandle Control);
// For a top-level window, the same meaning as in CreateFormWindow.
void SetWindowBounds(WindowHandle Window, const Bounds& Where);
// Where a window is now, in the same terms (a top-level window may have been
// dragged).
Bounds GetWindowBounds(WindowHandle Window);
// Changes the frame of a top-level window; its client area keeps its place
// on the screen and its size.
void SetFormBorder(WindowHandle Window, FormBorder Border);
// The outline of a top-level window: the window owns Region from now on. An
// invalid region gives the window back its whole rectangle.
void SetWindowRegion(WindowHandle Window, SystemRegion Region);
// The region data of the window's outline, in window coordinates; empty when
// the window has its whole rectangle.
std::vector<std::uint8_t> GetWindowRegionData(WindowHandle Window);

// The background colour of an option button (0x00BBGGRR).
void SetControlColor(WindowHandle Control, std::uint32_t Color);
// The help text shown when the mouse rests on a control; empty for none.
void SetControlHint(WindowHandle Control, const std::string& Hint);
std::string GetControlHint(WindowHandle Control);
// The picture of a glyph button: drawn with the pixels of the colour of its
// bottom-left pixel left out, greyed while the button is disabled.
void SetButtonGlyph(WindowHandle Control, const PixelImage& Glyph);
bool HasButtonGlyph(WindowHandle Control);

// Showing a top-level window activates it (a MsgActivate arrives, sent, before
// this returns), except with ShowNoActivate; minimising deactivates it.
void ShowWindow(WindowHandle Window, ShowCommand Command);
bool IsWindowVisible(WindowHandle Window);
bool IsIconic(WindowHandle Window);
bool IsZoomed(WindowHandle Window);
WindowHandle GetActiveWindow();
// The keyboard focus: a control (or a top-level window) of this thread's
// windows, 0 for none. Giving it to a control of an inactive window
// activates that window.
void SetFocus(WindowHandle Window);
WindowHandle GetFocus();

// Invalidates the whole window and paints it now, children included.
void RepaintWindow(WindowHandle Window);
// Marks part of a window's client area to be painted at the next chance; the
// background is erased first when Erase is set.
void InvalidateRect(WindowHandle Window, const Bounds& Part, bool Erase);

// The whole rectangle of a top-level window on the screen, frame included.
Bounds GetWindowRectangle(WindowHandle Window);
// The work areas of the monitors (the screen less the task bar and its
// kind), and the one of the monitor nearest to Rect. The host build has one
// screen of 1280 x 1024 pixels.
std::vector<Bounds> MonitorWorkAreas();
Bounds NearestWorkArea(const Bounds& Rect);

// The placement record of a top-level window, as the window system keeps it.
struct WindowPlacement {
  std::uint32_t Flags = 0;
  std::uint32_t ShowCmd = 1;
  int MinX = -1, MinY = -1, MaxX = -1, MaxY = -1;
  int NormLeft = 0, NormTop = 0, NormRight = 0, NormBottom = 0;
};
bool GetWindowPlacement(WindowHandle Window, WindowPlacement& Placement);
// Moves the window to the normal rectangle and shows it by ShowCmd, the
// system's show command: 0 hides it; 4 shows it normal and 7 minimised, both
// without activating it; 3 maximises it; 2 and 6 minimise it; the others show
// it normal and activate it.
bool SetWindowPlacement(WindowHandle Window, const WindowPlacement& Placement);
// Logical pixels per inch of the screen.
int ScreenPixelsPerInch();

// The program's icon resource Name drawn at its own size over Background,
// rows top-down; false when the program has no such icon (the host build has
// no icons).
bool DrawProgramIcon(const char* Name, std::uint32_t Background, int& Width, int& Height,
                     std::vector<std::uint32_t>& Pixels);

// The mouse: all its input goes to Window until released.
void SetCapture(WindowHandle Window);
void ReleaseCapture();
WindowHandle GetCapture();
enum class CursorShape { Arrow, Hand };
void SetCursor(CursorShape Shape);

// The font of a window's text; Height in pixels, Face a code page 932 name.
// Unknown faces fall back to what the system substitutes.
void SetWindowFont(WindowHandle Window, const std::string& Face, int Height);

}  // namespace plat
