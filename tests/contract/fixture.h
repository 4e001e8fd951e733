// fixture.h - storage set-up for the platform contract suite.
//
// The contract suite checks the platform interface itself; to do so it needs
// a few things the interface deliberately does not offer (making shortcuts,
// scratch folders, environment variables, removing whole key trees). Each
// side provides them its own way: fixture_memory.cpp seeds the in-memory
// stand-in, fixture_win32.cpp uses the real Windows calls under Wine.
#pragma once

#include "../../platform/platform.h"

#include <string>

// Registry key, under both hives, that the suite may create and delete.
#define CONTRACT_KEY "Software\\OrvaneContractTest"

// Starts a test from a clean state: the contract key deleted in both hives
// and an empty scratch folder.
void FixtureBegin();
void FixtureEnd();

// A scratch folder whose path contains a blank; no trailing backslash.
std::string FixtureScratch();

bool FixtureMakeFolder(const std::string &path);
bool FixtureMakeFile(const std::string &path, const std::string &bytes);
bool FixtureFileExists(const std::string &path);
bool FixtureFolderExists(const std::string &path);
std::string FixtureReadFile(const std::string &path);

// Saves a shell link at link pointing to target.
bool FixtureMakeShortcut(const std::string &link, const std::string &target,
                         const std::string &arguments, const std::string &comment);

// The short (8.3) form of an existing path.
std::string FixtureShortPath(const std::string &path);

// An executable with a version resource: translation 0409/04B0,
// FileDescription "Orvane test probe", CompanyName "Orvane Test Works".
std::string FixtureVersionProbe();

void FixtureSetEnv(const char *name, const char *value);

// Storage named in characters the code page may lack (utf8Name is UTF-8):
// a value with raw bytes under the contract key, an empty file in dir.
bool FixtureSetWideValue(PlatHive hive, const std::string &path, const char *utf8Name,
                         uint32_t type, const std::string &raw);
bool FixtureMakeWideFile(const std::string &dir, const char *utf8Name);

void FixtureDeleteKeyTree(PlatHive hive, const char *path);
