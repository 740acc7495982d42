// Folder lookups and path tests shared by the install-folder checks and the updater actions.
#pragma once
#include <windows.h>

namespace twg {

// Each lookup fills the caller's buffer (size bytes, 261 in the callers) and answers whether it found
// the folder. When the registry has no value, the Program Files and Common Files lookups create the
// folder below the Windows drive and record it in the registry; a folder that already exists is not
// recorded (creation is the test that it is new) and the lookup answers no.

// HKLM "Software\Microsoft\Windows\CurrentVersion" "ProgramFilesDir", else "<Windows drive>\Program Files".
bool GetProgramFilesDir(char* buffer, DWORD size);
// "CommonFilesDir" beside it, else "<Program Files>\Common Files".
bool GetCommonFilesDir(char* buffer, DWORD size);
// HKLM "Software\Veltrane\SharedUsage" "Location1", else "<Program Files>\Veltrane" (not created).
bool GetVeltraneSharedDir(char* buffer, DWORD size);
// "Skyfetch" or "Skyfetch1" below "SOFTWARE\Veltrane\SharedUsage", else "<shared folder>\Skyfetch".
// Writes what went wrong to the install log.
bool RegGetSkyfetchDir(char* buffer, DWORD size);

// A shell folder by its CSIDL number (the item-list lookup, which every Windows 95 shell has); false
// when the shell does not know it.
bool ShellFolderPath(int csidl, char (&path)[MAX_PATH]);

// The drive of root ("C:\"; only the letter is used) is a substituted drive.
bool IsSubstDrive(const char* root);
// The path or one of its parents, down to "C:", carries the encrypted attribute.
bool IsEncryptedPath(const char* path);
// The path is the folder itself or lies below it, comparing case-insensitively as the system does.
bool IsPathWithin(const char* folder, const char* path);

}  // namespace twg
