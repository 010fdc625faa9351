// The titles of the plug-in's actions, as the menus show them.
#pragma once

#include <cstdint>

// " About Brenix" (4), " Export current document" (5), " Export PDF
// coordinates" (6), " Export XTags" (7), " Export multiple documents" (8),
// " Export to Solvane" (10), " Import Solvane file" (15), " Import multiple
// Solvane files" (16); null for any other id, whose title is " Action %d".
const char* ActionTitle(int32_t id);
