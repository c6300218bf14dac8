// The main window: class, creation with the start-up sequence, and its window procedure.
#pragma once

#include "platform/win32.h"

// Set once CreateWindowExA returns, so still null while WM_CREATE runs.
extern HWND MainWindow;

void RegisterMainWindowClass(HINSTANCE instance);
BOOL CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
