// The application object, its message loop, and hidden windows whose messages
// go to a method of an object.
#pragma once

#include <functional>
#include <string>

#include "framework/Classes.h"
#include "platform/Platform.h"

struct TMessage {
  plat::WindowHandle Window;
  std::uint32_t Msg;
  plat::WParam wParam;
  plat::LParam lParam;
  plat::LResult Result;
};

using TWndMethod = std::function<void(TMessage& Message)>;

// A hidden window of the framework's own class whose every message is handed
// to Method; Method answers what it does not handle with DefaultHandler.
plat::WindowHandle AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(plat::WindowHandle Window);
void DefaultHandler(TMessage& Message);

using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;
using TMessageEvent = std::function<void(plat::Message& Msg, bool& Handled)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;
  const char* ClassName() const override { return "TApplication"; }

  const std::string& Title() const { return FTitle; }
  virtual void SetTitle(const std::string& Value) { FTitle = Value; }

  // Dispatches every message that is waiting, without waiting for more.
  void ProcessMessages();
  // Waits for one message and dispatches it.
  void HandleMessage();
  // Until Terminate, or until the quit message arrives.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Every exception that escapes a message handler comes here: to OnException
  // when set, otherwise to ShowException.
  void HandleException(TObject* Sender, Exception& E);
  virtual void ShowException(Exception& E);

  TExceptionEvent OnException;
  TMessageEvent OnMessage;  // sees each message first; Handled skips dispatching

 protected:
  // Returns false when the queue was empty.
  bool ProcessMessage();
  // Sees each message after OnMessage; true when it was used up (the keys a
  // window system handles for dialogs, say).
  virtual bool PreTranslateMessage(plat::Message& M) { return false; }
  void Dispatch(plat::Message& M);

 private:
  std::string FTitle;
  bool FTerminated = false;
};

// The one application object of the process, or nullptr before it exists.
extern TApplication* Application;
