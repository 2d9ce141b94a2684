// The offer to restart Windows once the new firmware is verified: the drive
// runs it only after a restart.
#include "update/UpdateSteps.h"

void TForm1::PromptRestart() {
    const UINT style = MB_OKCANCEL | MB_ICONWARNING | MB_SYSTEMMODAL;
    if (Os.MessageBoxA(nullptr, "Reboot this computer right now ?", "Warning", style) != IDOK) {
        return;
    }

    // The restart needs the shutdown privilege on the NT family; the 9x
    // family has no tokens, and the restart is asked for either way.
    HANDLE token = nullptr;
    Os.OpenProcessToken(Os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = 0;
    privileges.Privileges[0].Luid.HighPart = 0;
    Os.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    Os.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    Os.ExitWindowsEx(EWX_REBOOT, 0);
}
