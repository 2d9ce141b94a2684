// The entry function: one instance at a time, then the main window and its
// message loop. The exit code is 0 on every path.
#include "app/MainForm.h"
#include "os/Os.h"
#include <exception>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The named mutex marks a running instance. Its handle stays open for
    // the life of the process; the initial ownership is given up at once.
    HANDLE mutex = Os.CreateMutexA(nullptr, TRUE, "MyAPP");
    DWORD error = Os.GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        Os.ReleaseMutex(mutex);  // the other instance's mutex: changes nothing
        return 0;
    }
    Os.ReleaseMutex(mutex);

    try {
        Application->Initialize();
        Application->SetTitle("VESKFlash");
        Form1 = new TForm1();
        Application->CreateForm(Form1);
        Application->Run();
    } catch (const std::exception &e) {
        Application->ShowException(e.what());
    } catch (...) {
        Application->ShowException("Unknown error");
    }
    delete Form1;
    return 0;
}
