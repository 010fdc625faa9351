#include "plugin/xtension/menus.h"

#include <new>

#include "plugin/qapi/ui_dialogs.h"
#include "plugin/qapi/ui_host.h"
#include "plugin/xtension/actions.h"
#include "plugin/xtension/cb_manager.h"
#include "support/brenix_interface.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/settings.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace Menus {
namespace {

// The buttons in the order their items are added.
const int32_t kButtons[7] = {5, 6, 7, 10, 8, 15, 16};
// The order in which a command is looked for.
const int32_t kCommandOrder[7] = {5, 6, 7, 10, 15, 8, 16};

struct MenuState {
  uint16_t menuId = 0;
  uint16_t secondId = 0;
  int32_t menu = 0;       // 0: no menu
  uint16_t items[7] = {};  // by the index of kButtons
};

MenuState& State() {
  static MenuState state;
  return state;
}

int IndexOf(int32_t button) {
  for (int i = 0; i < 7; ++i) {
    if (kButtons[i] == button) return i;
  }
  return -1;
}

// The button's title; false when the button does not exist.
bool ButtonName(int32_t button, std::string* name) {
  RefHandle<Swing::Action> action;
  switch (button) {
    case 5:
      action = ExportButton::Instance();
      break;
    case 6:
      action = CoordinatesButton::Instance();
      break;
    case 7:
      action = XTagsButton::Instance();
      break;
    case 8:
      action = MultipleExportButton::Instance();
      break;
    case 10:
      action = ExportToButton::Instance();
      break;
    case 15:
      action = ImportButton::Instance();
      break;
    case 16:
      action = MultipleImportButton::Instance();
      break;
    default:
      return false;
  }
  if (!action) return false;
  *name = action->Name().Text();
  return true;
}

bool ItemWanted(int32_t button) {
  const bool extended = BrenixInterface::Instance()->extendedMode;
  switch (button) {
    case 6:
      return extended && Settings::Instance().IsAddMenuItemExportCoords();
    case 7:
      return extended && Settings::Instance().IsAddMenuItemExportKrm();
    case 8:
    case 16:
      return extended;
    default:
      return true;
  }
}

// The host's current document, negative when there is none.
int16_t CurrentDocument() {
  const XTDocumentStateSuite* documents = XT().lgi2;
  int16_t id = -1;
  if (documents == nullptr) return -1;
  const int32_t result = documents->current_document(&id);
  // No document open is an answer, not a failure.
  if (result != kXTOk && result != kXTErrNoDocument) HostCall("current_document", result);
  if (result != kXTOk) return -1;
  return id;
}

// Enables the button and its item while a document is open.
template <class Button>
void UpdateItem(int32_t button) {
  const RefHandle<Button> handle = Button::Instance();
  if (!handle) return;
  const bool open = CurrentDocument() >= 0;
  handle->SetEnabled(open);
  const MenuState& state = State();
  const uint16_t item = ItemId(button);
  const XTMenuSuite* menus = XT().menus;
  if (item == 0 || state.menu == 0 || menus == nullptr) return;
  DebugCheckApiErr(open ? HostCall("enable_item", menus->enable_item(state.menu, item))
                        : HostCall("disable_item", menus->disable_item(state.menu, item)));
}

void ChooseSourceFolderAndExport() {
  BrenixInterface::Instance()->SetMultiDocMode(true);
  Settings& settings = Settings::Instance();
  XTFileSpec chosen{};
  if (BrowseForFolder("Browse for Source Folder with QXP files",
                      settings.GetPath(SettingsKey::SourceBookPath), chosen) != 0) {
    return;
  }
  std::string name;
  GetRecordName(chosen, name);
  XTFileSpec spec{};
  // Without the folder's spec the dialog would work on a stale folder.
  if (xt_fsmakefsspec(chosen.volume, chosen.folder, name, spec, false, false, false, nullptr, 0,
                      false, nullptr) != 0) {
    return;
  }
  std::string path;
  if (FSSpecToPath(path, spec) == 0) {
    settings.SetValueAndSave(SettingsKey::SourceBookPath, path, true, true);
  }
  CurrentSourceFolder() = spec;
  ShowDialog(kDialogExportSource, 0, nullptr, nullptr, true, false, false);
}

void Run(int32_t button, xthandlecommandrec* record) {
  XTVoidRec* command = reinterpret_cast<XTVoidRec*>(record);
  switch (button) {
    case 5:
      PerformExportAction(record);
      break;
    case 6:
      Swing::Perform<CoordinatesButton>(command);
      break;
    case 7:
      Swing::Perform<XTagsButton>(command);
      break;
    case 10:
      Swing::Perform<ExportToButton>(command);
      break;
    case 15:
      Swing::Perform<ImportButton>(command);
      break;
    case 8:
      ChooseSourceFolderAndExport();
      break;
    case 16:
      BrenixInterface::Instance()->SetMultiDocMode(true);
      ShowDialog(kDialogImportFolder, 0, nullptr, nullptr, true, false, false);
      break;
    default:
      break;
  }
}

// Switches MultiDoc mode off, when it is on, at the end of a command.
class MultiDocEnd {
 public:
  explicit MultiDocEnd(BrenixInterface* modes) : modes_(modes) {}
  ~MultiDocEnd() {
    if (modes_->multiDocMode) modes_->SetMultiDocMode(false);
  }
  MultiDocEnd(const MultiDocEnd&) = delete;
  MultiDocEnd& operator=(const MultiDocEnd&) = delete;

 private:
  BrenixInterface* modes_;
};

int32_t MenuCommand(void* record) {
  if (record != nullptr) DoMenuItem(static_cast<xthandlecommandrec*>(record));
  return 0;
}

}  // namespace

uint16_t ItemId(int32_t button) {
  const int index = IndexOf(button);
  return index < 0 ? 0 : State().items[index];
}

int32_t AddItems::Handle(xtaddmenuitemsrec*) {
  MenuState& state = State();
  const XTMenuSuite* menus = XT().menus;
  if (menus == nullptr) return 0;
  uint16_t id = 65535;
  if (DebugCheckApiErr(HostCall("new_menu_id", menus->new_menu_id(&id))) == kXTOk) {
    uint16_t second = 65535;
    DebugCheckApiErr(HostCall("new_menu_id", menus->new_menu_id(&second)));
    state.secondId = second;
  }
  state.menuId = id;
  state.menu = CreatePluginMenu(id);
  if (state.menu == 0) return 0;
  for (int i = 0; i < 7; ++i) {
    std::string name;
    if (!ButtonName(kButtons[i], &name) || !ItemWanted(kButtons[i])) continue;
    state.items[i] = AppendMenuItem(state.menu, name);
  }
  return 0;
}

int32_t UpdateMenuItems::Handle(xtupdatemenuitemsrec*) {
  UpdateItem<ExportButton>(5);
  if (Settings::Instance().IsAddMenuItemExportCoords()) UpdateItem<CoordinatesButton>(6);
  if (Settings::Instance().IsAddMenuItemExportKrm()) UpdateItem<XTagsButton>(7);
  return 0;
}

bool Install() {
  if (AddItems* add = new (std::nothrow) AddItems) {
    SetHostCallback(kXTAddMenuItems, RefHandle<CBGlue>::Adopt(add));
  }
  if (const XTRegisterRec* registration = XT().registration) {
    HostCall("register_callback 618", registration->register_callback(kXTMenuCommand, Guarded<MenuCommand>, 5, 200, 0));
  }
  if (UpdateMenuItems* update = new (std::nothrow) UpdateMenuItems) {
    SetHostCallback(kXTUpdateMenuItems, RefHandle<CBGlue>::Adopt(update));
  }
  return true;
}

void DoMenuItem(xthandlecommandrec* record) {
  BrenixInterface* modes = BrenixInterface::Instance();
  if (modes->multiDocMode) modes->SetMultiDocMode(false);
  // MultiDoc mode ends with the command, also when the command fails.
  const MultiDocEnd end(modes);
  const uint16_t command = record->command_id;
  for (const int32_t button : kCommandOrder) {
    const uint16_t item = ItemId(button);
    if (item == 0 || item != command) continue;
    // In server mode the document commands take the server job's target,
    // which a menu command has none of: they end without a word but this.
    if (modes->serverMode && button != 8 && button != 16) {
      ProgramLog() << "\nServer mode is on (serverMode = True in brenix.ini): the menu command has no target "
                      "and does nothing" << std::endl;
    }
    Run(button, record);
    break;
  }
}

void Remove() {
  MenuState& state = State();
  const XTMenuSuite* menus = XT().menus;
  if (state.menu != 0 && menus != nullptr) DebugCheckApiErr(HostCall("dispose_menu", menus->dispose_menu(state.menu)));
  state = MenuState();
}

uint16_t AppendMenuItem(int32_t menu, const std::string& text) {
  const XTMenuSuite* menus = XT().menus;
  const XTStringSuite* strings = XT().qsb1;
  if (menus == nullptr || strings == nullptr) return 0;
  uint16_t id = 0;
  if (DebugCheckApiErr(HostCall("new_menu_id", menus->new_menu_id(&id))) != kXTOk) return 0;
  XTString string = 0;
  if (HostCall("new_string_from_text", strings->new_string_from_text(text.c_str(), kXTEncodingNarrow,
                                                                     static_cast<int32_t>(text.size()), &string)) == kXTOk) {
    DebugCheckApiErr(HostCall("insert_item", menus->insert_item(menu, id, string)));
    CleanUp("dispose_string", strings->dispose_string(string));
  }
  return id;
}

}  // namespace Menus

int32_t BrowseForFolder(const std::string& prompt, const std::string& initialPath,
                        XTFileSpec& folder) {
  const XTFileDialogSuite* dialogs = XT().file_dialogs;
  const XTStringSuite* strings = XT().qsb1;
  if (dialogs == nullptr || strings == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  XTString promptString = 0, initialString = 0;
  XTFileSpec chosen{};
  int32_t result = NewHostString(prompt, &promptString);
  if (result == kXTOk) result = NewHostString(initialPath, &initialString);
  if (result == kXTOk) result = dialogs->browse_for_folder(promptString, initialString, &chosen);
  if (promptString != 0) strings->dispose_string(promptString);
  if (initialString != 0) strings->dispose_string(initialString);
  if (result == kXTOk) folder = chosen;
  return TraceLevel(result, kApiCheckText);
}

XTFileSpec& CurrentSourceFolder() {
  static XTFileSpec folder{};
  return folder;
}
