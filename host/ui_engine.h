// The stand-in host's user interface: the menu bar, the dialog manager with
// its modal and modeless windows, alerts, the host's own alert windows, the
// open and save dialogs, the folder picker, preferences and the beep.
//
// Nothing waits for a user.  Everything shown is written to the transcript,
// and whatever a user would answer comes from the scripted answers
// (Application::answers, `xthost --answer`), taken in order; with none left
// the host takes the default (the default button, the proposed file name,
// the initial folder; an open dialog is cancelled) and says so.
//
// Answers:
//   dialog        steps separated by ";": "NAME" presses a button, "NAME=V"
//                 sets a check box (0 or 1) or a field (text).  NAME is the
//                 item's label or "#" and its item number.  A dialog still
//                 open after the steps takes its default button.
//   alert         "OK" (the only button).
//   open, save    a path, or "cancel".
//   folder picker a path, or "cancel".
//
// A modal dialog's callback gets, in order: the resource request, prepare,
// first update, then (with idle wanted) one idle message, then for every
// step the item message and an idle message.  A button press the callback
// does not handle ends the dialog with the button's number; when the
// default button ended it, "ended with the default button" comes last.
// Dialogs nest: a callback may run another dialog, which takes the next
// answer.  Host thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/handles.h"
#include "platform/xt/xt_ui_suites.h"

namespace xthost {

class Host;
struct Plugin;

struct UiMenuItem {
  uint16_t id = 0;
  std::string text;
  bool enabled = true;
};

struct UiMenu {
  uint16_t id = 0;
  std::string title;
  std::vector<UiMenuItem> items;
};

struct UiItem {
  int32_t id = 0;
  int32_t kind = 0;  // XTItemKind
  std::string text;
  int32_t value = 0;
  int32_t maximum = 0;
  bool enabled = true;
  bool browses = false;        // a button made a "..." button
  std::vector<int32_t> setup;  // a field's set-up values, when it was set up
};

struct UiWindow {
  enum Kind { kModal, kModeless, kHostAlert, kItem };
  Kind kind = kModal;
  int32_t dialog = 0;  // the reserved id its callback is registered under
  int32_t resource = 0;
  std::string title;
  int32_t default_item = 0;
  int32_t cancel_item = 0;
  std::vector<UiItem> items;
  bool wants_idle = false;
  bool shown = false;  // a modal dialog: prepared and shown
  bool ended = false;
  int32_t end_value = 0;
  int32_t end_item = 0;  // the button that ended it, 0 otherwise
  int drawing = 0;       // open begin_drawing brackets
  // kItem: the window and item it stands for, and a pressed button.
  XTWindow parent = 0;
  int32_t item = 0;
  bool pressed = false;

  UiItem* FindItem(int32_t id);
};

struct UiFileDialog {
  int32_t outcome = 0;
  std::string chosen;  // absolute path
};

class UiEngine {
 public:
  explicit UiEngine(Host& host);
  UiEngine(const UiEngine&) = delete;
  UiEngine& operator=(const UiEngine&) = delete;

  // --- what xthost does on its own ---

  // Asks every plug-in to add its menus (kind 6).
  void AddMenus();
  // Opens the menu bar: the update callback (kind 7), then one line per
  // menu item with its state.
  void ShowMenus();
  // Chooses the menu item whose text, blanks around it ignored, is `title`:
  // the update callback, then (when the item is enabled) the command
  // callback (kind 618) with its menu and id.
  void ChooseMenuItem(const std::string& title);
  // Shows a host alert window (window class "#32770") whose item 2 is its
  // OK button; a click on that button dismisses it.  Its id.
  XTWindow RaiseHostAlert(const std::string& title, const std::string& text);
  // The dialog templates of plug-ins linked into the host's process (a
  // plug-in library's own come from its kXTResourceSymbol).
  void SetLinkedResources(const XTResourceTable* table) { linked_resources_ = table; }
  // A line naming the menus, windows and file dialogs still held, when any.
  void ReportLeftovers();

  // --- what tests may look at ---
  const HandleTable<UiMenu>& Menus() const { return menus_; }
  const HandleTable<UiWindow>& Windows() const { return windows_; }
  bool Preference(int32_t preference) const;
  uint32_t box_refreshes = 0;  // calls of XTBoxSuite::refresh_box
  uint32_t box_update_word = 0;  // XTBoxSuite::update_word: a failed refresh's result

  // --- the entries of the tables (ui_suites.cc) ---

  int32_t DisposeMenu(XTMenu menu);
  int32_t NewMenuId(uint16_t* id);
  int32_t SetMenuItemEnabled(XTMenu menu, uint16_t item, bool enabled);
  int32_t NewMenu(uint16_t id, XTString title, XTMenu* menu);
  int32_t PlaceMenu(XTMenu menu, int32_t position);
  int32_t InsertMenuItem(XTMenu menu, uint16_t item, XTString text);

  int32_t RunDialog(int32_t dialog, int32_t argument, int32_t* result);
  int32_t EndDialog(XTWindow window, int32_t value);
  int32_t WantMessages(int32_t what);
  int32_t OpenWindow(int32_t dialog, XTWindow* window);
  int32_t ShowWindow(XTWindow window, int32_t shown);
  int32_t CloseWindow(XTWindow window);
  int32_t Drawing(XTWindow window, bool begin);
  int32_t SetItemText(XTWindow window, int32_t item, XTString text);
  int32_t ItemText(XTWindow window, int32_t item, XTString* text);
  int32_t SetItemValue(XTWindow window, int32_t item, int32_t value);
  int32_t ItemValue(XTWindow window, int32_t item, int32_t* value);
  int32_t EnableItem(XTWindow window, int32_t item, int32_t enabled);
  int32_t SetCancelItem(XTWindow window, int32_t item);
  int32_t SetControl(XTWindow window, int32_t item, int32_t maximum, int32_t value);
  int32_t BrowseButton(XTWindow window, int32_t item);
  int32_t SetupField(XTWindow window, int32_t item, const std::vector<int32_t>& values);
  int32_t DialogNotice(XTWindow window, int32_t what);
  int32_t Alert(int32_t alert);
  int32_t FindWindow(const char* window_class, const char* title, XTWindow* window);
  int32_t WindowItem(XTWindow window, int32_t item, XTWindow* item_window);
  int32_t PostMessage(XTWindow window, uint32_t message, int32_t wparam, int32_t lparam);

  int32_t NewFileDialog(XTFileDialog* dialog);
  int32_t DisposeFileDialog(XTFileDialog dialog);
  int32_t RunOpenDialog(XTFileDialog dialog, XTString prompt, const XTFileFilter* filter);
  int32_t RunSaveDialog(XTFileDialog dialog, XTString prompt, XTString name, XTFile location,
                        const XTFileFilter* filter);
  int32_t DialogOutcome(XTFileDialog dialog, int32_t* outcome);
  int32_t ChosenSpec(XTFileDialog dialog, XTFileSpec* spec);
  int32_t BrowseForFolder(XTString prompt, XTString initial, XTFileSpec* folder);

  int32_t GetPreference(int32_t preference, uint8_t* on);
  int32_t SetPreference(int32_t preference, uint8_t on);

 private:
  // The next scripted answer; false when none is left.
  bool TakeAnswer(std::string* answer);
  void Line(const std::string& text);
  // The text of a host string (0 reads as ""); false for an unknown one.
  bool Text(XTString string, std::string* text);

  // Dialogs (ui_dialogs.cc).
  const XTDialogTemplate* FindTemplate(const Plugin& owner, int32_t resource) const;
  int32_t OpenDialogWindow(int32_t dialog, int32_t argument, UiWindow::Kind kind,
                           XTWindow* window);
  void Send(XTWindow window, uint32_t message, int32_t item, int32_t value,
            XTDialogRec* record = nullptr);
  void Describe(XTWindow window);
  void RunModal(XTWindow window);
  void Step(XTWindow window, const std::string& step);
  void Press(XTWindow window, int32_t item);
  void PressDefault(XTWindow window, const std::string& why);
  void Idle(XTWindow window);
  // The window of `window` that item calls may change (modal or
  // modeless), with the item; null when either is unknown.
  UiWindow* ItemWindow(XTWindow window, int32_t item, UiItem** found);
  // "dialog N" or "window N".
  std::string Name(XTWindow window) const;
  // Whether changes of the window are shown yet.
  bool Visible(XTWindow window);
  void RemoveWindow(XTWindow window);

  Host& host_;
  HandleTable<UiMenu> menus_;
  HandleTable<UiWindow> windows_;
  HandleTable<UiFileDialog> file_dialogs_;
  std::map<int32_t, bool> preferences_;
  const XTResourceTable* linked_resources_ = nullptr;
  uint32_t next_menu_id_ = 1;
  // Set while the host asks a dialog for its resource.
  bool asking_resource_ = false;
  bool wants_idle_ = false;
};

// `text` without the spaces at its start and end, as answers and titles are
// compared (ui_engine.cc).
std::string Trimmed(const std::string& text);

// The user-interface table with `code`, or null (ui_suites.cc).
const void* FindUiSuite(uint32_t code);

}  // namespace xthost
