// The plug-in's menu "Brenix 9" in the host's menu bar.
//
// Items, in order: " Export current document" (button 5), " Export PDF
// coordinates" (6, extended mode with addMenuItemExportCoords), " Export
// XTags" (7, extended mode with addMenuItemExportKrm), " Export to
// Solvane" (10), " Export multiple documents" (8, extended mode), " Import
// Solvane file" (15), " Import multiple Solvane files" (16, extended mode).
// A chosen item fires its button; the two multi-document items open the
// plug-in's dialogs 7 and 11 instead, with MultiDoc mode on while they run.
// Items 5, 6 and 7 are enabled only while a document is open.  An item that
// was never added keeps the id 0 and is neither matched nor enabled.  Host
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/xtension/callback_glue.h"

namespace Menus {

// The add-items callback (kind 6): creates the menu and appends the items.
class AddItems : public CallBack<xtaddmenuitemsrec*> {
 public:
  int32_t Handle(xtaddmenuitemsrec* record) override;
};

// The update callback (kind 7): enables items 5, 6 and 7 while a document
// is open (and their buttons with them), disables them otherwise.
class UpdateMenuItems : public CallBack<xtupdatemenuitemsrec*> {
 public:
  int32_t Handle(xtupdatemenuitemsrec* record) override;
};

// Hands AddItems and UpdateMenuItems to the callback manager (kinds 6 and
// 7) and registers the command callback (kind 618) with the host.  True.
bool Install();

// The chosen item: MultiDoc mode off, the item's command, MultiDoc mode off
// again.
void DoMenuItem(xthandlecommandrec* record);

// Gives the menu back to the host (nothing when there is none).
void Remove();

// Appends an item with `text` to `menu`; its new id (0 when the host gave
// none).  An item whose text the host could not take is not inserted but
// keeps its id.
uint16_t AppendMenuItem(int32_t menu, const std::string& text);

// The item id of a button's item (5, 6, 7, 10, 8, 15 or 16), 0 when it
// was not added.
uint16_t ItemId(int32_t button);

}  // namespace Menus

// The host's folder picker with `prompt`, starting at `initialPath`: 0 and
// the chosen folder's spec in `folder`, or the host's result (through the
// API check) when nothing was chosen.
int32_t BrowseForFolder(const std::string& prompt, const std::string& initialPath,
                        XTFileSpec& folder);

// The source folder of the multi-document export, set when a folder was
// chosen for it; read by its dialog and the folder conversions.
XTFileSpec& CurrentSourceFolder();
