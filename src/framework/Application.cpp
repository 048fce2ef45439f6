#include "framework/Application.h"

#include <cstdio>
#include <new>

TApplication* Application = nullptr;

namespace {

const char* const UtilWindowClass = "TPUtilWindow";

plat::LResult UtilWindowProc(plat::WindowHandle Window, std::uint32_t Msg, plat::WParam wParam,
                             plat::LParam lParam) {
  auto* Method = static_cast<TWndMethod*>(plat::GetWindowData(Window));
  if (!Method || !*Method) return plat::DefWindowProc(Window, Msg, wParam, lParam);
  TMessage M{Window, Msg, wParam, lParam, 0};
  (*Method)(M);
  return M.Result;
}

}  // namespace

plat::WindowHandle AllocateHWnd(TWndMethod Method) {
  static const bool Registered = plat::RegisterWindowClass(UtilWindowClass, UtilWindowProc) ||
                                 plat::IsWindowClassRegistered(UtilWindowClass);
  if (!Registered) return 0;
  plat::WindowHandle Window = plat::CreateHiddenWindow(UtilWindowClass);
  if (Window) plat::SetWindowData(Window, new TWndMethod(std::move(Method)));
  return Window;
}

void DeallocateHWnd(plat::WindowHandle Window) {
  if (!Window) return;
  auto* Method = static_cast<TWndMethod*>(plat::GetWindowData(Window));
  plat::SetWindowData(Window, nullptr);
  plat::DestroyWindow(Window);
  delete Method;
}

void DefaultHandler(TMessage& Message) {
  Message.Result = plat::DefWindowProc(Message.Window, Message.Msg, Message.wParam, Message.lParam);
}

// ---------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  if (!Application) Application = this;
}

TApplication::~TApplication() {
  DestroyComponents();
  if (Application == this) Application = nullptr;
}

void TApplication::Dispatch(plat::Message& M) {
  try {
    bool Handled = false;
    if (OnMessage) OnMessage(M, Handled);
    if (!Handled) Handled = PreTranslateMessage(M);
    if (!Handled) {
      plat::TranslateMessage(M);
      plat::DispatchMessage(M);
    }
  } catch (Exception& E) {
    HandleException(this, E);
  } catch (const std::bad_alloc&) {
    EOutOfMemory E("Out of memory");
    HandleException(this, E);
  } catch (const std::exception& Other) {
    Exception E(Other.what());
    HandleException(this, E);
  }
}

bool TApplication::ProcessMessage() {
  plat::Message M;
  if (!plat::PeekMessage(M, true)) return false;
  if (M.Msg == plat::MsgQuit) {
    FTerminated = true;
    return true;
  }
  Dispatch(M);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  if (ProcessMessage()) return;
  plat::WaitMessage();
}

void TApplication::Run() {
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() {
  if (!FTerminated) plat::PostQuitMessage(0);
}

void TApplication::HandleException(TObject* Sender, Exception& E) {
  if (OnException) {
    OnException(Sender, E);
    return;
  }
  ShowException(E);
}

void TApplication::ShowException(Exception& E) {
  // No dialogs, ever: an unhandled exception without a handler is only traced.
  std::fprintf(stderr, "%s: %s\n", E.ClassName(), E.Message().c_str());
}
