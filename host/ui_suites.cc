// The user-interface tables: their entries lead to the live host's engine.
#include "host/host.h"
#include "host/ui_engine.h"

namespace xthost {
namespace {

UiEngine& Ui() { return Host::Current().ui(); }

// --- XMNu ---

int32_t DisposeMenu(XTMenu menu) { return Ui().DisposeMenu(menu); }
int32_t NewMenuId(uint16_t* id) { return Ui().NewMenuId(id); }
int32_t EnableMenuItem(XTMenu menu, uint16_t item) {
  return Ui().SetMenuItemEnabled(menu, item, true);
}
int32_t DisableMenuItem(XTMenu menu, uint16_t item) {
  return Ui().SetMenuItemEnabled(menu, item, false);
}
int32_t NewMenu(uint16_t id, XTString title, XTMenu* menu) {
  return Ui().NewMenu(id, title, menu);
}
int32_t PlaceMenu(XTMenu menu, int32_t position) { return Ui().PlaceMenu(menu, position); }
int32_t InsertItem(XTMenu menu, uint16_t item, XTString text) {
  return Ui().InsertMenuItem(menu, item, text);
}

// --- XDLg ---

int32_t RunDialog(int32_t dialog, int32_t argument, int32_t* result) {
  return Ui().RunDialog(dialog, argument, result);
}
int32_t EndDialog(XTWindow window, int32_t value) { return Ui().EndDialog(window, value); }
int32_t WantMessages(int32_t what, int32_t, int32_t) { return Ui().WantMessages(what); }
int32_t OpenWindow(int32_t dialog, XTWindow* window) { return Ui().OpenWindow(dialog, window); }
int32_t ShowWindow(XTWindow window, int32_t shown) { return Ui().ShowWindow(window, shown); }
int32_t CloseWindow(XTWindow window) { return Ui().CloseWindow(window); }
int32_t BeginDrawing(XTWindow window) { return Ui().Drawing(window, true); }
int32_t EndDrawing(XTWindow window) { return Ui().Drawing(window, false); }
int32_t SetItemText(XTWindow window, int32_t item, XTString text) {
  return Ui().SetItemText(window, item, text);
}
int32_t ItemText(XTWindow window, int32_t item, XTString* text) {
  return Ui().ItemText(window, item, text);
}
int32_t SetItemValue(XTWindow window, int32_t item, int32_t value) {
  return Ui().SetItemValue(window, item, value);
}
int32_t ItemValue(XTWindow window, int32_t item, int32_t* value) {
  return Ui().ItemValue(window, item, value);
}
int32_t EnableDialogItem(XTWindow window, int32_t item, int32_t enabled) {
  return Ui().EnableItem(window, item, enabled);
}
int32_t SetCancelItem(XTWindow window, int32_t item) { return Ui().SetCancelItem(window, item); }
int32_t SetControl(XTWindow window, int32_t item, int32_t maximum, int32_t value) {
  return Ui().SetControl(window, item, maximum, value);
}
int32_t Alert(int32_t alert) { return Ui().Alert(alert); }
int32_t FindWindow(const char* window_class, const char* title, XTWindow* window) {
  return Ui().FindWindow(window_class, title, window);
}
int32_t WindowItem(XTWindow window, int32_t item, XTWindow* item_window) {
  return Ui().WindowItem(window, item, item_window);
}
int32_t PostMessage(XTWindow window, uint32_t message, int32_t wparam, int32_t lparam) {
  return Ui().PostMessage(window, message, wparam, lparam);
}
int32_t BrowseButton(XTWindow window, int32_t item) { return Ui().BrowseButton(window, item); }
int32_t SetupField(XTWindow window, int32_t item, int32_t v1, int32_t v2, int32_t v3, int32_t v4, int32_t v5,
                   int32_t v6) {
  return Ui().SetupField(window, item, {v1, v2, v3, v4, v5, v6});
}
int32_t DialogNotice(XTWindow window, int32_t what) { return Ui().DialogNotice(window, what); }

// --- XFDl ---

int32_t NewFileDialog(XTFileDialog* dialog) { return Ui().NewFileDialog(dialog); }
int32_t DisposeFileDialog(XTFileDialog dialog) { return Ui().DisposeFileDialog(dialog); }
int32_t RunOpenDialog(XTFileDialog dialog, XTString prompt, const XTFileFilter* filter) {
  return Ui().RunOpenDialog(dialog, prompt, filter);
}
int32_t RunSaveDialog(XTFileDialog dialog, XTString prompt, XTString name, XTFile location,
                      const XTFileFilter* filter) {
  return Ui().RunSaveDialog(dialog, prompt, name, location, filter);
}
int32_t DialogOutcome(XTFileDialog dialog, int32_t* outcome) {
  return Ui().DialogOutcome(dialog, outcome);
}
int32_t ChosenSpec(XTFileDialog dialog, XTFileSpec* spec) { return Ui().ChosenSpec(dialog, spec); }
int32_t BrowseForFolder(XTString prompt, XTString initial, XTFileSpec* folder) {
  return Ui().BrowseForFolder(prompt, initial, folder);
}

// --- XAPp ---

int32_t HostVersion(uint32_t* version) {
  Host& host = Host::Current();
  if (host.Fails("host_version")) return kXTErrInjected;
  if (version == nullptr) return kXTErrParam;
  *version = host.app().version;
  return kXTOk;
}
int32_t GetPreference(int32_t preference, uint8_t* on) {
  return Ui().GetPreference(preference, on);
}
int32_t SetPreference(int32_t preference, uint8_t on) {
  return Ui().SetPreference(preference, on);
}
int32_t RequestQuit() {
  Host& host = Host::Current();
  if (host.Fails("request_quit")) return kXTErrInjected;
  host.app().quit_requested = true;
  host.transcript().Line("quit requested");
  return kXTOk;
}
void MessageBeep(uint32_t type) {
  Host& host = Host::Current();
  if (host.Fails("message_beep")) return;
  host.transcript().Line("beep " + std::to_string(type));
}

// --- XBXa ---

// A refresh that fails leaves its result in the update word, as the
// host's own box update does; the next one that succeeds clears it.
int32_t RefreshBox(uint32_t) {
  Host& host = Host::Current();
  if (host.Fails("refresh_box")) {
    host.ui().box_update_word = static_cast<uint32_t>(kXTErrInjected);
    return kXTErrInjected;
  }
  ++host.ui().box_refreshes;
  host.ui().box_update_word = 0;
  return kXTOk;
}

int32_t UpdateWord(uint32_t* word) {
  Host& host = Host::Current();
  if (host.Fails("update_word")) return kXTErrInjected;
  if (word == nullptr) return kXTErrParam;
  *word = host.ui().box_update_word;
  return kXTOk;
}

const XTMenuSuite kMenuSuite = {kXTTableXMNu, DisposeMenu, NewMenuId, EnableMenuItem,
                                DisableMenuItem, NewMenu, PlaceMenu, InsertItem};
const XTDialogSuite kDialogSuite = {
    kXTTableXDLg,  RunDialog,   EndDialog,    WantMessages,     OpenWindow,    ShowWindow,
    CloseWindow,   BeginDrawing, EndDrawing,  SetItemText,      ItemText,      SetItemValue,
    ItemValue,     EnableDialogItem, SetCancelItem, SetControl, Alert,         FindWindow,
    WindowItem,    PostMessage,  BrowseButton, SetupField,       DialogNotice,
};
const XTFileDialogSuite kFileDialogSuite = {kXTTableXFDl,  NewFileDialog, DisposeFileDialog,
                                            RunOpenDialog, RunSaveDialog, DialogOutcome,
                                            ChosenSpec,    BrowseForFolder};
const XTApplicationSuite kApplicationSuite = {kXTTableXAPp,  HostVersion, GetPreference,
                                              SetPreference, RequestQuit, MessageBeep};
const XTBoxSuite kBoxSuite = {kXTTableXBXa, RefreshBox, UpdateWord};

}  // namespace

const void* FindUiSuite(uint32_t code) {
  const void* const kSuites[] = {&kMenuSuite, &kDialogSuite, &kFileDialogSuite,
                                 &kApplicationSuite, &kBoxSuite};
  for (const void* suite : kSuites) {
    if (*static_cast<const uint32_t*>(suite) == code) return suite;
  }
  return nullptr;
}

}  // namespace xthost
