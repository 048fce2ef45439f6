// The program entry of dravin.exe: one instance only, the main window, the loop.
#include "app/InstanceMutex.h"
#include "app/UDravin.h"

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  if (!AcquireInstanceMutex("DravinPlugIn")) return 0;
  try {
    TFormApplication App;
    App.SetTitle("バージョンチェックプラグイン");
    App.CreateForm<TFormDravin>();
    App.Run();
    // The forms go with the application, here: the log's end marker is
    // written before the next instance may start.
  } catch (...) {
    // Whatever escaped the application's own handler: nothing is ever shown,
    // and the mutex is still released.
  }
  ReleaseInstanceMutex();
  return 0;
}
