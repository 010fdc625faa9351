// The host ABI: the user interface.
//
// Bound tables through which a plug-in reaches what a user sees: the menu
// bar, the dialog manager (its own modal dialogs, modeless windows, their
// items, alerts and the host's own windows), the open and save dialogs and
// the folder picker, a few application services (version, preferences,
// quitting, the beep) and the box interface.  Like the tables of
// xt_suites.h each begins with its code and is acquired by the plug-in's
// binding glue; entries the plug-in's code refers to by number carry that
// number in their comment.  Every entry returns a host result code
// (0 = success) unless its comment says otherwise.
//
// A plug-in's dialogs are templates in its library (XTResourceTable, found
// under kXTResourceSymbol).  The host runs a dialog by the id reserved for
// it: it asks the callback registered under that id for the template's
// resource number, then sends the dialog messages of XTDialogMessage in
// this order: prepare, first update, then item messages and idle messages
// until the dialog ends; "ended with the default button" comes last when
// the default button ended it.
#pragma once

#include <cstdint>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_types.h"

// Handles of the user interface, issued like the others (0 = none).
using XTMenu = int32_t;        // a menu of the menu bar
using XTWindow = int32_t;      // a dialog, modeless window, host window or item
using XTFileDialog = int32_t;  // an open or save dialog object

// The table codes.
enum XTUiTableCode : uint32_t {
  kXTTableXMNu = 0x584D4E75,  // menus (XTMenuSuite)
  kXTTableXDLg = 0x58444C67,  // dialogs, windows, alerts (XTDialogSuite)
  kXTTableXFDl = 0x5846446C,  // file dialogs, folder picker (XTFileDialogSuite)
  kXTTableXAPp = 0x58415070,  // application services (XTApplicationSuite)
  kXTTableXBXa = 0x58425861,  // the box interface (XTBoxSuite)
};

// The user cancelled a file dialog or the folder picker.
constexpr int32_t kXTErrCancelled = -128;

// --- dialog templates ---

enum XTItemKind : int32_t {
  kXTItemButton = 1,
  kXTItemText = 2,      // static text; ^0 to ^3 stand for the alert parameter texts
  kXTItemCheckBox = 3,  // value 0 or 1
  kXTItemField = 4,     // editable text
  kXTItemProgress = 5,  // a progress control: maximum and value
  kXTItemIcon = 6,
};

struct XTDialogItem {
  int32_t id;  // 0 for static texts nothing refers to
  int32_t kind;
  const char* text;  // the label, UTF-8; null for none
};

struct XTDialogTemplate {
  int32_t resource;
  const char* title;     // null: a window without a title
  int32_t default_item;  // the button Return presses; 0 = none
  int32_t item_count;
  const XTDialogItem* items;
};

struct XTResourceTable {
  int32_t count;
  const XTDialogTemplate* dialogs;
};

// The name under which a plug-in library exports its XTResourceTable.
constexpr const char* kXTResourceSymbol = "XTDialogResources";

// --- XMNu: menus ---

struct XTMenuSuite {
  uint32_t code;
  // Entry 2: gives a menu back; its items go with it.
  int32_t (*dispose_menu)(XTMenu menu);
  // Entry 3: a fresh id for a menu or a menu item, 1 to 65534.  When the
  // ids are used up, *id is 65535 and the result kXTErrRefused.
  int32_t (*new_menu_id)(uint16_t* id);
  // Entry 8: enables the item `item` of `menu`.
  int32_t (*enable_item)(XTMenu menu, uint16_t item);
  // Entry 9: disables it.
  int32_t (*disable_item)(XTMenu menu, uint16_t item);
  // Entry 36: a new menu with an id from entry 3 and a title.
  int32_t (*new_menu)(uint16_t id, XTString title, XTMenu* menu);
  // Entry 37: places a menu in the menu bar at `position`.
  int32_t (*place_menu)(XTMenu menu, int32_t position);
  // Entry 38: appends an item with an id from entry 3 and a text; the item
  // starts enabled.
  int32_t (*insert_item)(XTMenu menu, uint16_t item, XTString text);
};

// --- XDLg: dialogs, windows and alerts ---

// What want_messages asks for: idle messages for the dialog being opened.
constexpr int32_t kXTWantIdle = 40;
// The host alert whose texts are the alert parameter texts ^0 to ^3.
constexpr int32_t kXTParamTextAlert = 512;
// The host alert with the parameter texts and the buttons Cancel (1) and
// Continue (2).
constexpr int32_t kXTContinueAlert = 22200;
// Window messages the host's windows take: left button down and up.
constexpr uint32_t kXTMessageButtonDown = 513;
constexpr uint32_t kXTMessageButtonUp = 514;

struct XTDialogSuite {
  uint32_t code;
  // Entry 2: runs the plug-in dialog reserved under `dialog` modally and
  // returns when it has ended; `argument` reaches the callback in the value
  // field of the resource, prepare and first-update messages; *result (when
  // given) receives the value the dialog ended with.
  int32_t (*run_dialog)(int32_t dialog, int32_t argument, int32_t* result);
  // Ends a running modal dialog with `value` (from its callback).
  int32_t (*end_dialog)(XTWindow window, int32_t value);
  // Called while the host asks for a dialog's resource: with kXTWantIdle
  // the dialog being opened also receives idle messages.
  int32_t (*want_messages)(int32_t what, int32_t reserved1, int32_t reserved2);
  // Opens the plug-in dialog reserved under `dialog` as a modeless window.
  int32_t (*open_window)(int32_t dialog, XTWindow* window);
  // Shows (1) or hides (0) a modeless window.
  int32_t (*show_window)(XTWindow window, int32_t shown);
  int32_t (*close_window)(XTWindow window);
  // Brackets changes of a window's items.
  int32_t (*begin_drawing)(XTWindow window);
  int32_t (*end_drawing)(XTWindow window);
  // Items of a dialog or modeless window.
  int32_t (*set_item_text)(XTWindow window, int32_t item, XTString text);
  // The item's text as a new string.
  int32_t (*item_text)(XTWindow window, int32_t item, XTString* text);
  int32_t (*set_item_value)(XTWindow window, int32_t item, int32_t value);
  int32_t (*item_value)(XTWindow window, int32_t item, int32_t* value);
  int32_t (*enable_dialog_item)(XTWindow window, int32_t item, int32_t enabled);
  // The button that a cancelling user (Escape) presses.
  int32_t (*set_cancel_item)(XTWindow window, int32_t item);
  // Sets a progress control.
  int32_t (*set_control)(XTWindow window, int32_t item, int32_t maximum, int32_t value);
  // Raises a host alert (kXTParamTextAlert or kXTContinueAlert) and returns
  // the button the user pressed: 1 for OK or Cancel, 2 for Continue, 0 when
  // the host refused the alert.  Not a result code.
  int32_t (*alert)(int32_t alert);
  // The host's window of a window class and title (both UTF-8).
  int32_t (*find_window)(const char* window_class, const char* title, XTWindow* window);
  // The window of an item of a window.
  int32_t (*window_item)(XTWindow window, int32_t item, XTWindow* item_window);
  // Posts a window message.
  int32_t (*post_message)(XTWindow window, uint32_t message, int32_t wparam, int32_t lparam);
  // Makes a button of a dialog one that opens a picker (a "..." button).
  int32_t (*browse_button)(XTWindow window, int32_t item);
  // Sets up an editable field with six values whose meaning is the host's
  // (the folder dialogs' path fields pass 32, 80, 1000, 0, 0x640000, 26).
  int32_t (*setup_field)(XTWindow window, int32_t item, int32_t v1, int32_t v2, int32_t v3, int32_t v4,
                         int32_t v5, int32_t v6);
  // Tells the host about the state of a dialog in the host's own terms (the
  // folder dialogs send 2 when a path field has no path of its own to show
  // and 4 once a chosen folder is stored); 0 when the host took it.
  int32_t (*dialog_notice)(XTWindow window, int32_t what);
};

// --- XFDl: file dialogs and the folder picker ---

// A file-type filter: a name the user sees and one file type.
struct XTFileFilter {
  const char* name;
  const char* type;
};

struct XTFileDialogSuite {
  uint32_t code;
  int32_t (*new_file_dialog)(XTFileDialog* dialog);
  int32_t (*dispose_file_dialog)(XTFileDialog dialog);
  // Runs an open dialog with a prompt and a filter.
  int32_t (*run_open_dialog)(XTFileDialog dialog, XTString prompt, const XTFileFilter* filter);
  // Runs a save dialog proposing the name `name` in the folder of the file
  // object `location` (0: the current folder).
  int32_t (*run_save_dialog)(XTFileDialog dialog, XTString prompt, XTString name, XTFile location,
                             const XTFileFilter* filter);
  // The outcome of the last run: 1 when the user chose a file, else 0.
  int32_t (*dialog_outcome)(XTFileDialog dialog, int32_t* outcome);
  // The spec of the chosen file.
  int32_t (*chosen_spec)(XTFileDialog dialog, XTFileSpec* spec);
  // The folder picker, with a prompt and an initial folder path (either may
  // be 0): the spec of the chosen folder, or kXTErrCancelled.
  int32_t (*browse_for_folder)(XTString prompt, XTString initial, XTFileSpec* folder);
};

// --- XAPp: application services ---

// The host preferences a plug-in may switch.
enum XTPreference : int32_t {
  kXTPrefAutoSave = 1,
  kXTPrefAutoBackup = 2,
  // Line tables mark text that does not fit (the last line's overflow mark).
  kXTPrefOverflowMark = 3,
};

struct XTApplicationSuite {
  uint32_t code;
  // The host's version: major in the top byte, minor in the next, the
  // revision in the low 16 bits.
  int32_t (*host_version)(uint32_t* version);
  int32_t (*preference)(int32_t preference, uint8_t* on);
  int32_t (*set_preference)(int32_t preference, uint8_t on);
  // Asks the host to quit once the callback that asks has returned.
  int32_t (*request_quit)();
  // The system beep; no result.
  void (*message_beep)(uint32_t type);
};

// --- XBXa: the box interface ---

struct XTBoxSuite {
  uint32_t code;
  // Entry 4: brings the current box up to date with its text.
  int32_t (*refresh_box)(uint32_t value);
  // Entry 5: the word of the last update of the current box: 0 when it was
  // brought up to date (or none was asked for), else the host's reason it
  // was not.
  int32_t (*update_word)(uint32_t* word);
};
