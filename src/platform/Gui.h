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

#include "platform/Platform.h"

namespace plat {

constexpr std::uint32_t MsgActivate = 0x0006;    // wParam low word: WaInactive, WaActive, WaClickActive
constexpr std::uint32_t MsgSetFocus = 0x0007;
constexpr std::uint32_t MsgPaint = 0x000F;
constexpr std::uint32_t MsgNcHitTest = 0x0084;
constexpr std::uint32_t MsgCommand = 0x0111;     // from a control: wParam high word the notification, lParam the control
constexpr std::uint32_t MsgSysCommand = 0x0112;
constexpr std::uint32_t MsgButtonClick = 0x00F5;  // BM_CLICK: a control clicks itself as the mouse would

constexpr WParam WaInactive = 0;
constexpr WParam WaActive = 1;
constexpr WParam WaClickActive = 2;
constexpr std::uint16_t NotifyClicked = 0;  // BN_CLICKED

inline std::uint16_t LowWord(std::uintptr_t V) { return static_cast<std::uint16_t>(V & 0xFFFF); }
inline std::uint16_t HighWord(std::uintptr_t V) { return static_cast<std::uint16_t>((V >> 16) & 0xFFFF); }

struct Bounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

enum class FormBorder { Single, None };
enum class ControlKind { Label, PushButton, RadioButton };
enum class ShowCommand { Hide, Show, ShowNoActivate, Minimize, Restore };

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

// Showing a top-level window activates it (a MsgActivate arrives, sent, before
// this returns), except with ShowNoActivate; minimising deactivates it.
void ShowWindow(WindowHandle Window, ShowCommand Command);
bool IsWindowVisible(WindowHandle Window);
bool IsIconic(WindowHandle Window);
WindowHandle GetActiveWindow();

// Invalidates the whole window and paints it now, children included.
void RepaintWindow(WindowHandle Window);

// The font of a window's text; Height in pixels, Face a code page 932 name.
// Unknown faces fall back to what the system substitutes.
void SetWindowFont(WindowHandle Window, const std::string& Face, int Height);

}  // namespace plat
