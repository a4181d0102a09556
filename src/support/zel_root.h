// The process-wide installation root, its three module directories, and the loading of
// the toolkit plug-in through them.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vorlan {

// SetZELRoot: sets the root once per process (extending "Path"); an empty text is ignored; raises ECryptoEngineError
// "Could not set ZELRoot to '%s'. Already set to '%s'." for a different second root.
void SetZELRoot(const std::string& root);
// ZELRoot / SearchDirs: the current root ("" until set) and its EXE\, SYSTEM\, USER\ directories.
std::string ZELRoot();
std::vector<std::string> SearchDirs();
// FindLibraryFile: a module file beside the host executable, else beside the library, else in
// EXE, SYSTEM, USER; else the name.
std::string FindLibraryFile(const std::string& name);
// LoadLibraryFromSearchDirs: loads FindLibraryFile(name) when it was found; null otherwise.
platform::ModuleHandle LoadLibraryFromSearchDirs(const std::string& name);
// LoadCryptoLibrary: LoadLibraryFromSearchDirs, else from the directory of a loaded "CryptLib.dll".
platform::ModuleHandle LoadCryptoLibrary(const std::string& name);
// Module load/unload: create the empty search list; free it and clear the root.
void ZELRootModuleLoad();
void ZELRootModuleUnload();
// ResetZELRootForTests: clears the root and its search list so that a test can set a new one.
void ResetZELRootForTests();

}  // namespace vorlan
