// The plug-in search order seen from a host: which copy of "mplugf.dll" the library loads
// when copies lie beside the host executable and in the root's EXE, SYSTEM and USER.
#pragma once

#include <string>

namespace host {

// CheckPluginSearchOrder: runs one child host per placement of the plug-in file and
// checks the directory each child loaded it from.
void CheckPluginSearchOrder(const std::string& hostDirectory, const std::string& plugin);
// RunPluginOrderChild: the child's side ("--plugin-order <root> <expected directory or
// "nowhere"> <library directory>"): loads the library, sets the root, makes the engine load its
// plug-in, reports; exit code 0 when as expected.
int RunPluginOrderChild(const std::string& libraryDirectory, const std::string& root,
                        const std::string& expectedDirectory);

}  // namespace host
