// framework/FolderTree.h: deleting a folder with everything inside it.
#pragma once

#include "framework/String.h"

#include <windows.h>

// Deletes a folder and what lies inside it, permanently and silently; read-only entries go too. A link
// (symbolic link, junction, mount point), or any entry the system resolves to another place, is never
// entered: it is removed as a link where that leaves what it names alone, else kept, and with it the
// folders around it. The folder itself is held to the same. TRUE when the folder is gone.
BOOL DeleteFolderTree(const CString &strFolder);
