// The DLL names in a loaded module's import table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::vector<std::string> ImportedModules(HMODULE module);
