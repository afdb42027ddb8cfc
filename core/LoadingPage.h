#pragma once

#include <string>

// The page both programs show while a page is being fetched. It ships as the
// template "Loading" of the template bundle and is written at start to the
// application folder's Image/ folder, where the programs navigate to it.

// AppFolder() + "Image/Loading.html".
std::string LoadingPageFile();

// Writes the bundle's "Loading" page to LoadingPageFile(), creating the
// folder. A file that already holds the page is left alone. False when the
// bundle has no such page (nothing is written then, so no empty page is ever
// shown) or the file cannot be written.
bool WriteLoadingPage();
