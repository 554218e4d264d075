// Process-wide state of the installer's windows, and the helpers they share.
#pragma once

#include <windows.h>

enum { ShellTextCapacity = 256 };  // dialog captions, item texts, paths read from edits

extern HINSTANCE instanceHandle;  // every resource load and dialog of the shell
extern HBRUSH backgroundBrush;    // class background, never deleted
extern HBITMAP backgroundBitmap;  // "vivedu.bmp", or null
extern HWND mainWindow;           // recorded by onStart; Cancel posts IDM_EXIT to it
extern char destinationPath[ShellTextCapacity];  // the destination folder
extern HFONT aboutFont;           // the About box's bold font while it is open

BOOL initShell(HINSTANCE instance, int showCommand);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK destinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Positions window centred over reference, kept on the screen.
void centreOnWindow(HWND window, HWND reference);

// Formats the window's caption template with appTitle as its one "%s".
void formatCaption(HWND window);

// Selects the whole text of an edit control.
void selectAllText(HWND dialog, int item);
