#include "plugin/xtension/action_titles.h"

const char* ActionTitle(int32_t id) {
  switch (id) {
    case 4:
      return " About Brenix";
    case 5:
      return " Export current document";
    case 6:
      return " Export PDF coordinates";
    case 7:
      return " Export XTags";
    case 8:
      return " Export multiple documents";
    case 10:
      return " Export to Solvane";
    case 15:
      return " Import Solvane file";
    case 16:
      return " Import multiple Solvane files";
    default:
      return nullptr;
  }
}
