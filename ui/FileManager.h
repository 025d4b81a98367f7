#pragma once

#include <QString>

// Hands files and folders to the desktop's file manager. Both start a
// detached process and return at once; failures are ignored (the user simply
// sees no file manager). GUI thread.

// Opens the folder holding filePath with the file selected, through
// org.freedesktop.FileManager1.ShowItems on the session bus; when no file
// manager answers there, opens the folder with xdg-open. A relative path is
// taken from the current directory.
void ShowInFileManager(const QString& filePath);

// Opens folder with xdg-open.
void OpenFolder(const QString& folder);
