// The user interface: answers, the menu bar and preferences.
#include "host/ui_engine.h"

#include "host/host.h"
#include "host/utf.h"

namespace xthost {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

namespace {

const char* PreferenceName(int32_t preference) {
  switch (preference) {
    case kXTPrefAutoSave:
      return "auto save";
    case kXTPrefAutoBackup:
      return "auto backup";
    case kXTPrefOverflowMark:
      return "overflow mark";
    default:
      return nullptr;
  }
}

}  // namespace

UiItem* UiWindow::FindItem(int32_t id) {
  for (UiItem& candidate : items) {
    if (candidate.id == id && id != 0) return &candidate;
  }
  return nullptr;
}

UiEngine::UiEngine(Host& host) : host_(host) {
  preferences_[kXTPrefAutoSave] = true;
  preferences_[kXTPrefAutoBackup] = false;
  preferences_[kXTPrefOverflowMark] = true;
}

bool UiEngine::TakeAnswer(std::string* answer) {
  auto& answers = host_.app().answers;
  if (answers.empty()) return false;
  *answer = answers.front();
  answers.pop_front();
  return true;
}

void UiEngine::Line(const std::string& text) { host_.transcript().Line(text); }

bool UiEngine::Text(XTString string, std::string* text) {
  if (string == 0) {
    text->clear();
    return true;
  }
  const std::u16string* units = host_.strings.Find(string);
  return units != nullptr && Utf16ToUtf8(*units, text);
}

void UiEngine::ReportLeftovers() {
  if (menus_.size() == 0 && windows_.size() == 0 && file_dialogs_.size() == 0) return;
  Line("ui left menus=" + std::to_string(menus_.size()) +
       " windows=" + std::to_string(windows_.size()) +
       " file dialogs=" + std::to_string(file_dialogs_.size()));
}

// --- the menu bar ---

void UiEngine::AddMenus() {
  Line("menus add");
  xtaddmenuitemsrec record{kXTAddMenuItems};
  host_.Deliver(&record);
}

void UiEngine::ShowMenus() {
  xtupdatemenuitemsrec update{kXTUpdateMenuItems};
  host_.Deliver(&update);
  if (menus_.size() == 0) Line("menus none");
  for (const auto& [handle, menu] : menus_.items()) {
    if (menu.items.empty()) Line("menu " + std::to_string(handle) + " " +
                                 Transcript::Quote(menu.title) + " empty");
    for (const UiMenuItem& item : menu.items) {
      Line("menu " + std::to_string(handle) + " " + Transcript::Quote(menu.title) + " item " +
           std::to_string(item.id) + " " + Transcript::Quote(item.text) +
           (item.enabled ? " enabled" : " disabled"));
    }
  }
}

void UiEngine::ChooseMenuItem(const std::string& title) {
  Line("menu choose " + Transcript::Quote(title));
  xtupdatemenuitemsrec update{kXTUpdateMenuItems};
  host_.Deliver(&update);
  const std::string wanted = Trimmed(title);
  for (const auto& [handle, menu] : menus_.items()) {
    for (const UiMenuItem& item : menu.items) {
      if (Trimmed(item.text) != wanted) continue;
      if (!item.enabled) {
        Line("menu " + Transcript::Quote(title) + " disabled");
        return;
      }
      xthandlecommandrec command{};
      command.kind = kXTMenuCommand;
      command.menu = handle;
      command.command_id = item.id;
      Line("menu command " + std::to_string(handle) + " " + std::to_string(item.id));
      host_.Deliver(&command);
      return;
    }
  }
  Line("menu " + Transcript::Quote(title) + " not found");
}

int32_t UiEngine::NewMenuId(uint16_t* id) {
  if (host_.Fails("new_menu_id")) return kXTErrInjected;
  if (id == nullptr) return kXTErrParam;
  if (next_menu_id_ > 65534) {
    *id = 65535;
    return kXTErrRefused;
  }
  *id = static_cast<uint16_t>(next_menu_id_++);
  return kXTOk;
}

int32_t UiEngine::NewMenu(uint16_t id, XTString title, XTMenu* menu) {
  if (host_.Fails("new_menu")) return kXTErrInjected;
  std::string text;
  if (menu == nullptr || id == 0 || id == 65535 || !Text(title, &text)) return kXTErrParam;
  UiMenu made;
  made.id = id;
  made.title = text;
  *menu = menus_.Add(std::move(made));
  Line("menu " + std::to_string(*menu) + " new id " + std::to_string(id) + " " +
       Transcript::Quote(text));
  return kXTOk;
}

int32_t UiEngine::PlaceMenu(XTMenu menu, int32_t position) {
  if (host_.Fails("place_menu")) return kXTErrInjected;
  if (menus_.Find(menu) == nullptr) return kXTErrParam;
  Line("menu " + std::to_string(menu) + " placed " + std::to_string(position));
  return kXTOk;
}

int32_t UiEngine::InsertMenuItem(XTMenu menu, uint16_t item, XTString text) {
  if (host_.Fails("insert_item")) return kXTErrInjected;
  UiMenu* found = menus_.Find(menu);
  std::string label;
  if (found == nullptr || item == 0 || item == 65535 || !Text(text, &label)) return kXTErrParam;
  for (const UiMenuItem& existing : found->items) {
    if (existing.id == item) return kXTErrParam;
  }
  found->items.push_back(UiMenuItem{item, label, true});
  Line("menu " + std::to_string(menu) + " item " + std::to_string(item) + " " +
       Transcript::Quote(label));
  return kXTOk;
}

int32_t UiEngine::SetMenuItemEnabled(XTMenu menu, uint16_t item, bool enabled) {
  if (host_.Fails(enabled ? "enable_item" : "disable_item")) return kXTErrInjected;
  UiMenu* found = menus_.Find(menu);
  if (found == nullptr) return kXTErrParam;
  for (UiMenuItem& existing : found->items) {
    if (existing.id != item) continue;
    existing.enabled = enabled;
    Line("menu " + std::to_string(menu) + " item " + std::to_string(item) +
         (enabled ? " enable" : " disable"));
    return kXTOk;
  }
  return kXTErrParam;
}

int32_t UiEngine::DisposeMenu(XTMenu menu) {
  if (host_.Fails("dispose_menu")) return kXTErrInjected;
  if (!menus_.Remove(menu)) return kXTErrParam;
  Line("menu " + std::to_string(menu) + " removed");
  return kXTOk;
}

// --- preferences ---

bool UiEngine::Preference(int32_t preference) const {
  const auto it = preferences_.find(preference);
  return it != preferences_.end() && it->second;
}

int32_t UiEngine::GetPreference(int32_t preference, uint8_t* on) {
  if (host_.Fails("preference")) return kXTErrInjected;
  if (on == nullptr || PreferenceName(preference) == nullptr) return kXTErrParam;
  *on = Preference(preference) ? 1 : 0;
  return kXTOk;
}

int32_t UiEngine::SetPreference(int32_t preference, uint8_t on) {
  if (host_.Fails("set_preference")) return kXTErrInjected;
  const char* name = PreferenceName(preference);
  if (name == nullptr) return kXTErrParam;
  preferences_[preference] = on != 0;
  Line(std::string("preference ") + Transcript::Quote(name) + (on != 0 ? " on" : " off"));
  return kXTOk;
}

}  // namespace xthost
