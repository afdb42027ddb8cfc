#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Charset.h"

// Where both programs keep their files, the [General] keys of set.ini, the
// installation check and the small platform helpers around them. Folder texts
// are UTF-8 file-system paths that end with "/". They are set at start on the
// user-interface thread, and the data folder again when the settings move it
// while workers write chapters into it: every getter hands out a copy taken
// under a lock, never a reference to the text that may change.

// File and folder names that stored data relies on.
inline constexpr std::string_view kAppFolderName = "Velqo";
inline constexpr std::string_view kDatabaseFileName = "idata.dll";
inline constexpr std::string_view kSettingsFileName = "set.ini";
inline constexpr std::string_view kStoryListFileName = "Story.cab";
inline constexpr std::string_view kBookFolderName = "BooK";
inline constexpr std::string_view kImageFolderName = "Image";
inline constexpr std::string_view kCacheFolderName = "Cache";
inline constexpr std::string_view kPicFolderName = "Pic";
inline constexpr std::string_view kTemplateBundleName = "Quira2.gresource";
inline constexpr std::string_view kReaderProgramName = "QuiraReader";
// The section of set.ini that holds the settings keys.
inline constexpr std::string_view kGeneralSection = "General";

// Special folders by their Windows numbers: 0 desktop, 2 start-menu programs,
// 26 application data. Empty when the platform has none.
std::string GetSpecialFolder(int csidl);

// The process-wide folder texts.
std::string AppFolder();      // application data + "Velqo/"
std::string DataFolder();     // VelqoData, or the application folder
std::string BookFolder();     // DataFolder() + "BooK/"
std::string SettingsFile();   // AppFolder() + "set.ini"
std::string ProgramFolder();  // the folder of the running program
void SetAppFolder(std::string folder);
void SetDataFolder(std::string folder);
void SetProgramFolder(std::string folder);  // tests and the programs' start

// The start-up order: application folder made, data folder read (application
// folder when empty or missing), MoveImageFolder(true), BooK/Image/Cache under
// the data folder and Pic under the application folder created.
void InitFolders();

// [General] keys of set.ini.
std::string ReadDataFolder();
void WriteDataFolder(const std::string& folder);
bool ReadInstallFlag();
int ReadMaxCacheSize();
bool ReadAutoNotify();

void MoveImageFolder(bool onlyWhenInstalling);
bool CopyFolderFiles(const std::string& from, const std::string& to);
bool CheckInstallation();

// A story's FolderName: 30 random characters of "0", "A" to "Z", "1" to "9".
std::string RandomFolderName();

// Templates: the lines of the named text of the template bundle beside the
// programs; empty when the bundle or the text is missing.
void LoadTemplateResource(std::string_view name, std::vector<std::string>& list);
// The whole file as lines joined with CR LF; empty when it cannot be read.
std::string LoadTextFile(const std::string& file);

bool DeletePath(const std::string& path);
bool ShellDeleteFolder(const std::string& path);

std::string GetFileVersionText(const std::string& file);
std::string GetFileVersionString(const std::string& file, std::string_view name);
std::string GetOEMVersion();

void ShellOpen(const std::string& file, const std::string& parameters);
bool OpenURL(const std::string& url);
bool RunElevated(const std::string& file, const std::string& parameters);
bool PostToWindowsWithTitle(std::string_view title);
void WriteDebugLog(std::string_view text);
