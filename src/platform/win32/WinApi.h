// <windows.h> for the win32 side of the seam, without the macros that would
// rename the seam's own functions (PostMessage, DeleteFile, ...): the code here
// calls the explicit W or A entry points instead.
#pragma once

#include <windows.h>

#undef PostMessage
#undef SendMessage
#undef PeekMessage
#undef GetMessage
#undef DispatchMessage
#undef DefWindowProc
#undef DeleteFile
#undef CopyFile
#undef CreateDirectory
#undef GetModuleFileName
#undef GetTempPath
#undef GetEnvironmentVariable
#undef SetEnvironmentVariable
#undef RegisterClass
#undef UnregisterClass

#include <exception>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/UniqueHandle.h"

namespace plat::win32 {

// An exception thrown by a seam procedure while the system was dispatching is
// kept here, and rethrown by the seam call that let the system dispatch, once
// the system's frames are off the stack. Every system window procedure of the
// seam carries exceptions this way.
void KeepPendingException(std::exception_ptr E);
void RethrowPendingException();
// Calls a seam procedure from a system window procedure, keeping what it throws.
LRESULT CallCarrying(WindowProc Proc, HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam);

// Our byte strings are code page 932; the system's wide interface takes the
// conversion out of the hands of whatever ANSI code page the machine has.
std::wstring Wide(const std::string& Text);
std::string Narrow(const wchar_t* Text, int Length = -1);

// The header of a top-down 32-bit picture of that size.
BITMAPINFO TopDown32(int Width, int Height);
// Count pixels of a 32-bit picture (blue, green, red, unused) as 0x00BBGGRR.
std::vector<std::uint32_t> ColorsOf(const void* Bits, std::size_t Count);

// The font of that face (code page 932), height in pixels and style; made once
// and kept for the life of the process, as windows keep using fonts given them.
HFONT FontFor(const std::string& Face, int Height, bool Underline);

// The owners of the drawing objects the seam makes (brushes, fonts, bitmaps,
// regions) and of its memory device contexts. Each is counted as Own takes it
// and as it is deleted (see LiveDrawingObjects).
bool DeleteDrawingObject(HGDIOBJ Object);
bool DeleteMemoryDC(HDC Dc);
using DrawingObject = UniqueHandle<HGDIOBJ, nullptr, DeleteDrawingObject>;
using MemoryDC = UniqueHandle<HDC, nullptr, DeleteMemoryDC>;
DrawingObject Own(HGDIOBJ Made);
MemoryDC OwnDC(HDC Made);
// The same count for a region the window system takes over (a window's
// outline): the seam holds it no longer.
void Disown(HGDIOBJ Given);

}  // namespace plat::win32
