// The compression dialog as a watcher thread finds it: a visible dialog-class
// window of this process.
#pragma once

#include <windows.h>

#include <cstring>

inline BOOL CALLBACK TakeOwnDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[32] = {};
    GetClassNameA(window, className, sizeof(className));
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::strcmp(className, "#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// This process's dialog if one is showing, otherwise null.
inline HWND FindOwnDialog()
{
    HWND dialog = nullptr;
    EnumWindows(TakeOwnDialog, reinterpret_cast<LPARAM>(&dialog));
    return dialog;
}

// Presses a dialog's button as a user's click does.
inline void PressDialogButton(HWND dialog, int button)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}
