// The dialog manager: modal dialogs run from scripted answers, modeless
// windows, their items, alerts and the host's own alert windows.
#include <dlfcn.h>

#include <cstdlib>

#include "host/host.h"
#include "host/ui_engine.h"
#include "host/utf.h"

namespace xthost {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// The window class of every dialog window of the host.
const char kDialogClass[] = "#32770";

// " setup" and a field's set-up values, or nothing when it has none.
std::string SetupText(const UiItem& item) {
  if (item.setup.empty()) return "";
  std::string text = " setup";
  for (int32_t value : item.setup) text += " " + std::to_string(value);
  return text;
}

}  // namespace

std::string UiEngine::Name(XTWindow window) const {
  const auto it = windows_.items().find(window);
  std::string kind = "window";
  if (it != windows_.items().end() && it->second.kind == UiWindow::kModal) kind = "dialog";
  if (it != windows_.items().end() && it->second.kind == UiWindow::kHostAlert) kind = "host alert";
  return kind + " " + std::to_string(window);
}

bool UiEngine::Visible(XTWindow window) {
  const UiWindow* w = windows_.Find(window);
  return w != nullptr && (w->kind != UiWindow::kModal || w->shown);
}

void UiEngine::RemoveWindow(XTWindow window) {
  std::vector<XTWindow> items;
  for (const auto& [id, w] : windows_.items()) {
    if (w.kind == UiWindow::kItem && w.parent == window) items.push_back(id);
  }
  for (XTWindow id : items) windows_.Remove(id);
  windows_.Remove(window);
}

const XTDialogTemplate* UiEngine::FindTemplate(const Plugin& owner, int32_t resource) const {
  const XTResourceTable* table = linked_resources_;
  if (owner.library != nullptr) {
    table = static_cast<const XTResourceTable*>(dlsym(owner.library, kXTResourceSymbol));
  }
  if (table == nullptr || table->dialogs == nullptr) return nullptr;
  for (int32_t i = 0; i < table->count; ++i) {
    if (table->dialogs[i].resource == resource) return &table->dialogs[i];
  }
  return nullptr;
}

int32_t UiEngine::OpenDialogWindow(int32_t dialog, int32_t argument, UiWindow::Kind kind,
                                   XTWindow* window) {
  // The dialog belongs to the plug-in that registered its callback.
  const Plugin* owner = nullptr;
  for (const auto& plugin : host_.plugins()) {
    for (const Plugin::Callback& callback : plugin->callbacks) {
      if (plugin->active && callback.kind == dialog) owner = plugin.get();
    }
  }
  if (owner == nullptr || window == nullptr) return kXTErrParam;
  const std::string what = kind == UiWindow::kModal ? "dialog " : "window ";

  int32_t resource = 0;
  XTDialogRec ask{};
  ask.kind = dialog;
  ask.message = kXTDialogAskResource;
  ask.resource = &resource;
  ask.value = argument;
  const bool outer_asking = asking_resource_;
  const bool outer_idle = wants_idle_;
  asking_resource_ = true;
  wants_idle_ = false;
  host_.Deliver(&ask);
  const bool wants_idle = wants_idle_;
  asking_resource_ = outer_asking;
  wants_idle_ = outer_idle;
  if (ask.handled == 0 || resource == 0) {
    Line(what + std::to_string(dialog) + " has no resource");
    return kXTErrParam;
  }
  const XTDialogTemplate* found = FindTemplate(*owner, resource);
  if (found == nullptr || found->item_count < 0 || (found->item_count > 0 && !found->items)) {
    Line(what + std::to_string(dialog) + " resource " + std::to_string(resource) + " missing");
    return kXTErrNotFound;
  }

  // Texts stand in for the alert parameter texts ^0 to ^3.
  std::string params[4];
  for (int i = 0; i < 4; ++i) {
    if (!Utf16ToUtf8(host_.app().alert_texts[i], &params[i])) params[i].clear();
  }
  UiWindow made;
  made.kind = kind;
  made.dialog = dialog;
  made.resource = resource;
  made.title = found->title != nullptr ? found->title : "";
  made.default_item = found->default_item;
  made.wants_idle = wants_idle;
  for (int32_t i = 0; i < found->item_count; ++i) {
    const XTDialogItem& source = found->items[i];
    UiItem item;
    item.id = source.id;
    item.kind = source.kind;
    const std::string text = source.text != nullptr ? source.text : "";
    for (std::size_t at = 0; at < text.size(); ++at) {
      if (text[at] == '^' && at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '3') {
        item.text += params[text[at + 1] - '0'];
        ++at;
      } else {
        item.text += text[at];
      }
    }
    made.items.push_back(item);
  }
  *window = windows_.Add(std::move(made));
  Line(Name(*window) + " open " + std::to_string(dialog) + " resource " + std::to_string(resource) +
       (found->title != nullptr ? " " + Transcript::Quote(found->title) : std::string()));
  Send(*window, kXTDialogPrepare, 0, argument);
  Send(*window, kXTDialogFirstUpdate, 0, argument);
  return kXTOk;
}

void UiEngine::Send(XTWindow window, uint32_t message, int32_t item, int32_t value,
                    XTDialogRec* record) {
  const UiWindow* w = windows_.Find(window);
  if (w == nullptr) return;
  XTDialogRec sent{};
  sent.kind = w->dialog;
  sent.dialog = window;
  sent.message = message;
  sent.item = item;
  sent.value = value;
  host_.Deliver(&sent);
  if (record != nullptr) *record = sent;
}

void UiEngine::Describe(XTWindow window) {
  UiWindow* w = windows_.Find(window);
  if (w == nullptr) return;
  const std::string name = Name(window);
  for (const UiItem& item : w->items) {
    const std::string id = item.id != 0 ? " item " + std::to_string(item.id) : std::string();
    const std::string state = item.enabled ? "" : " disabled";
    switch (item.kind) {
      case kXTItemButton:
        Line(name + id + " button " + Transcript::Quote(item.text) +
             (item.id == w->default_item ? " default" : "") +
             (item.id == w->cancel_item ? " cancel" : "") + (item.browses ? " browses" : "") + state);
        break;
      case kXTItemText:
        Line(name + id + " text " + Transcript::Quote(item.text));
        break;
      case kXTItemCheckBox:
        Line(name + id + " check box " + Transcript::Quote(item.text) + " " +
             std::to_string(item.value) + state);
        break;
      case kXTItemField:
        Line(name + id + " field " + Transcript::Quote(item.text) + SetupText(item) + state);
        break;
      case kXTItemProgress:
        Line(name + id + " progress " + std::to_string(item.value) + "/" +
             std::to_string(item.maximum));
        break;
      default:
        break;
    }
  }
}

void UiEngine::Idle(XTWindow window) {
  const UiWindow* w = windows_.Find(window);
  if (w == nullptr || !w->wants_idle || w->ended) return;
  Line(Name(window) + " idle");
  Send(window, kXTDialogIdle, 0, 0);
}

int32_t UiEngine::RunDialog(int32_t dialog, int32_t argument, int32_t* result) {
  if (host_.Fails("run_dialog")) return kXTErrInjected;
  XTWindow window = 0;
  const int32_t opened = OpenDialogWindow(dialog, argument, UiWindow::kModal, &window);
  if (opened != kXTOk) return opened;
  RunModal(window);
  UiWindow* w = windows_.Find(window);
  if (w->end_item != 0 && w->end_item == w->default_item) {
    Send(window, kXTDialogEndedDefault, w->end_item, 0);
    w = windows_.Find(window);
  }
  const int32_t value = w->end_value;
  Line(Name(window) + " closed -> " + std::to_string(value));
  RemoveWindow(window);
  if (result != nullptr) *result = value;
  return kXTOk;
}

void UiEngine::RunModal(XTWindow window) {
  windows_.Find(window)->shown = true;
  Describe(window);
  Idle(window);
  std::string answer;
  if (!TakeAnswer(&answer)) {
    PressDefault(window, "no answer left");
    return;
  }
  Line(Name(window) + " answer " + Transcript::Quote(answer));
  for (const std::string& step : Split(answer, ';')) {
    if (windows_.Find(window)->ended) return;
    Step(window, step);
    Idle(window);
  }
  if (!windows_.Find(window)->ended) PressDefault(window, "still open");
}

void UiEngine::PressDefault(XTWindow window, const std::string& why) {
  UiWindow* w = windows_.Find(window);
  const UiItem* button = w->FindItem(w->default_item);
  if (button != nullptr && button->enabled) {
    Line(Name(window) + " " + why + ": default " + Transcript::Quote(button->text));
    Press(window, button->id);
    w = windows_.Find(window);
  }
  if (!w->ended) {
    // Nothing ends it: the host closes it rather than wait for ever.
    Line(Name(window) + " " + why + ": ended by the host with 0");
    w->ended = true;
    w->end_value = 0;
  }
}

void UiEngine::Press(XTWindow window, int32_t item) {
  UiWindow* w = windows_.Find(window);
  const UiItem* found = w->FindItem(item);
  if (found == nullptr) {
    Line(Name(window) + " has no item " + std::to_string(item));
    return;
  }
  if (!found->enabled) {
    Line(Name(window) + " item " + std::to_string(item) + " disabled");
    return;
  }
  const bool button = found->kind == kXTItemButton;
  Line(Name(window) + " item " + std::to_string(item) + " pressed");
  XTDialogRec sent{};
  Send(window, kXTDialogItemHit, item, 0, &sent);
  w = windows_.Find(window);
  if (!w->ended && sent.handled == 0 && button) {
    w->ended = true;
    w->end_value = item;
  }
  if (w->ended) w->end_item = item;
}

void UiEngine::Step(XTWindow window, const std::string& step) {
  const std::string trimmed = Trimmed(step);
  if (trimmed.empty()) return;
  const std::size_t equals = trimmed.find('=');
  const std::string name = Trimmed(trimmed.substr(0, equals));
  UiWindow* w = windows_.Find(window);
  UiItem* item = nullptr;
  if (name.size() > 1 && name[0] == '#') {
    char* end = nullptr;
    const long id = std::strtol(name.c_str() + 1, &end, 10);
    if (*end == '\0') item = w->FindItem(static_cast<int32_t>(id));
  } else {
    for (UiItem& candidate : w->items) {
      if ((candidate.kind == kXTItemButton || candidate.kind == kXTItemCheckBox) &&
          candidate.text == name) {
        item = &candidate;
        break;
      }
    }
  }
  if (item == nullptr) {
    Line(Name(window) + " has no item " + Transcript::Quote(name));
    return;
  }
  const std::string id = " item " + std::to_string(item->id);
  if (equals == std::string::npos && item->kind != kXTItemCheckBox) {
    Press(window, item->id);
    return;
  }
  if (!item->enabled) {
    Line(Name(window) + id + " disabled");
    return;
  }
  if (item->kind == kXTItemCheckBox) {
    int32_t value = item->value != 0 ? 0 : 1;  // a press toggles it
    if (equals != std::string::npos) {
      const std::string text = Trimmed(trimmed.substr(equals + 1));
      if (text != "0" && text != "1") {
        Line(Name(window) + id + " takes 0 or 1, not " + Transcript::Quote(text));
        return;
      }
      value = text == "1" ? 1 : 0;
    }
    item->value = value;
    Line(Name(window) + id + " set " + std::to_string(value));
    Send(window, kXTDialogItemChanged, item->id, value);
  } else if (item->kind == kXTItemField) {
    item->text = trimmed.substr(equals + 1);
    Line(Name(window) + id + " set " + Transcript::Quote(item->text));
    Send(window, kXTDialogItemChanged, item->id, 0);
  } else {
    Line(Name(window) + id + " cannot be set");
  }
}

int32_t UiEngine::EndDialog(XTWindow window, int32_t value) {
  if (host_.Fails("end_dialog")) return kXTErrInjected;
  UiWindow* w = windows_.Find(window);
  if (w == nullptr || w->kind != UiWindow::kModal) return kXTErrParam;
  if (!w->ended) {
    w->ended = true;
    w->end_value = value;
  }
  return kXTOk;
}

int32_t UiEngine::WantMessages(int32_t what) {
  if (host_.Fails("want_messages")) return kXTErrInjected;
  if (!asking_resource_ || what != kXTWantIdle) return kXTErrParam;
  wants_idle_ = true;
  return kXTOk;
}

// --- modeless windows and items ---

int32_t UiEngine::OpenWindow(int32_t dialog, XTWindow* window) {
  if (host_.Fails("open_window")) return kXTErrInjected;
  return OpenDialogWindow(dialog, 0, UiWindow::kModeless, window);
}

int32_t UiEngine::ShowWindow(XTWindow window, int32_t shown) {
  if (host_.Fails("show_window")) return kXTErrInjected;
  const UiWindow* w = windows_.Find(window);
  if (w == nullptr || w->kind != UiWindow::kModeless) return kXTErrParam;
  Line(Name(window) + (shown != 0 ? " shown" : " hidden"));
  return kXTOk;
}

int32_t UiEngine::CloseWindow(XTWindow window) {
  if (host_.Fails("close_window")) return kXTErrInjected;
  const UiWindow* w = windows_.Find(window);
  if (w == nullptr || w->kind != UiWindow::kModeless) return kXTErrParam;
  Line(Name(window) + " closed" + (w->drawing != 0 ? " while drawing" : ""));
  RemoveWindow(window);
  return kXTOk;
}

int32_t UiEngine::Drawing(XTWindow window, bool begin) {
  if (host_.Fails(begin ? "begin_drawing" : "end_drawing")) return kXTErrInjected;
  UiWindow* w = windows_.Find(window);
  if (w == nullptr || (w->kind != UiWindow::kModal && w->kind != UiWindow::kModeless)) {
    return kXTErrParam;
  }
  if (begin) {
    ++w->drawing;
  } else {
    if (w->drawing == 0) return kXTErrParam;
    --w->drawing;
  }
  return kXTOk;
}

UiWindow* UiEngine::ItemWindow(XTWindow window, int32_t item, UiItem** found) {
  UiWindow* w = windows_.Find(window);
  if (w == nullptr || (w->kind != UiWindow::kModal && w->kind != UiWindow::kModeless)) {
    return nullptr;
  }
  *found = w->FindItem(item);
  return *found != nullptr ? w : nullptr;
}

int32_t UiEngine::SetItemText(XTWindow window, int32_t item, XTString text) {
  if (host_.Fails("set_item_text")) return kXTErrInjected;
  UiItem* found = nullptr;
  std::string value;
  if (ItemWindow(window, item, &found) == nullptr || !Text(text, &value)) return kXTErrParam;
  found->text = value;
  if (Visible(window)) {
    Line(Name(window) + " item " + std::to_string(item) + " text " + Transcript::Quote(value));
  }
  return kXTOk;
}

int32_t UiEngine::ItemText(XTWindow window, int32_t item, XTString* text) {
  if (host_.Fails("item_text")) return kXTErrInjected;
  UiItem* found = nullptr;
  std::u16string units;
  if (text == nullptr || ItemWindow(window, item, &found) == nullptr ||
      !Utf8ToUtf16(found->text, &units)) {
    return kXTErrParam;
  }
  *text = host_.strings.Add(std::move(units));
  return kXTOk;
}

int32_t UiEngine::SetItemValue(XTWindow window, int32_t item, int32_t value) {
  if (host_.Fails("set_item_value")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (ItemWindow(window, item, &found) == nullptr) return kXTErrParam;
  found->value = value;
  if (Visible(window)) {
    Line(Name(window) + " item " + std::to_string(item) + " value " + std::to_string(value));
  }
  return kXTOk;
}

int32_t UiEngine::ItemValue(XTWindow window, int32_t item, int32_t* value) {
  if (host_.Fails("item_value")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (value == nullptr || ItemWindow(window, item, &found) == nullptr) return kXTErrParam;
  *value = found->value;
  return kXTOk;
}

int32_t UiEngine::EnableItem(XTWindow window, int32_t item, int32_t enabled) {
  if (host_.Fails("enable_dialog_item")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (ItemWindow(window, item, &found) == nullptr) return kXTErrParam;
  found->enabled = enabled != 0;
  if (Visible(window)) {
    Line(Name(window) + " item " + std::to_string(item) + (enabled != 0 ? " enabled" : " disabled"));
  }
  return kXTOk;
}

int32_t UiEngine::SetCancelItem(XTWindow window, int32_t item) {
  if (host_.Fails("set_cancel_item")) return kXTErrInjected;
  UiItem* found = nullptr;
  UiWindow* w = ItemWindow(window, item, &found);
  if (w == nullptr || found->kind != kXTItemButton) return kXTErrParam;
  w->cancel_item = item;
  if (Visible(window)) Line(Name(window) + " item " + std::to_string(item) + " cancels");
  return kXTOk;
}

int32_t UiEngine::SetControl(XTWindow window, int32_t item, int32_t maximum, int32_t value) {
  if (host_.Fails("set_control")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (ItemWindow(window, item, &found) == nullptr || found->kind != kXTItemProgress ||
      maximum < 0 || value < 0 || value > maximum) {
    return kXTErrParam;
  }
  found->maximum = maximum;
  found->value = value;
  if (Visible(window)) {
    Line(Name(window) + " item " + std::to_string(item) + " progress " + std::to_string(value) +
         "/" + std::to_string(maximum));
  }
  return kXTOk;
}

int32_t UiEngine::BrowseButton(XTWindow window, int32_t item) {
  if (host_.Fails("browse_button")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (ItemWindow(window, item, &found) == nullptr || found->kind != kXTItemButton) return kXTErrParam;
  found->browses = true;
  if (Visible(window)) Line(Name(window) + " item " + std::to_string(item) + " browses");
  return kXTOk;
}

int32_t UiEngine::SetupField(XTWindow window, int32_t item, const std::vector<int32_t>& values) {
  if (host_.Fails("setup_field")) return kXTErrInjected;
  UiItem* found = nullptr;
  if (ItemWindow(window, item, &found) == nullptr || found->kind != kXTItemField) return kXTErrParam;
  found->setup = values;
  if (Visible(window)) Line(Name(window) + " item " + std::to_string(item) + SetupText(*found));
  return kXTOk;
}

int32_t UiEngine::DialogNotice(XTWindow window, int32_t what) {
  if (host_.Fails("dialog_notice")) return kXTErrInjected;
  const UiWindow* w = windows_.Find(window);
  if (w == nullptr || (w->kind != UiWindow::kModal && w->kind != UiWindow::kModeless)) return kXTErrParam;
  Line(Name(window) + " notice " + std::to_string(what));
  return kXTOk;
}

// --- alerts ---

int32_t UiEngine::Alert(int32_t alert) {
  if (host_.Fails("alert")) return 0;
  if (alert != kXTParamTextAlert && alert != kXTContinueAlert) {
    Line("alert " + std::to_string(alert) + " unknown");
    return 0;
  }
  std::string texts[4];
  for (int i = 0; i < 4; ++i) {
    if (!Utf16ToUtf8(host_.app().alert_texts[i], &texts[i])) texts[i] = "?";
  }
  Line("alert " + std::to_string(alert) + " " + Transcript::Quote(texts[0] + texts[1] + texts[2]) +
       " " + Transcript::Quote(texts[3]));
  // The buttons by number; the first is the default.
  const std::vector<std::string> buttons =
      alert == kXTContinueAlert ? std::vector<std::string>{"Cancel", "Continue"}
                                : std::vector<std::string>{"OK"};
  std::string answer;
  if (!TakeAnswer(&answer)) {
    Line("alert no answer left: default " + Transcript::Quote(buttons[0]));
    return 1;
  }
  const std::string pressed = Trimmed(answer);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (pressed == buttons[i] || pressed == "#" + std::to_string(i + 1)) {
      Line("alert answer " + Transcript::Quote(buttons[i]));
      return static_cast<int32_t>(i + 1);
    }
  }
  Line("alert answer " + Transcript::Quote(answer) + " is no button: default " +
       Transcript::Quote(buttons[0]));
  return 1;
}

// --- the host's windows ---

XTWindow UiEngine::RaiseHostAlert(const std::string& title, const std::string& text) {
  UiWindow alert;
  alert.kind = UiWindow::kHostAlert;
  alert.title = title;
  alert.default_item = 2;
  alert.items.push_back(UiItem{1, kXTItemText, text, 0, 0, true, false, {}});
  alert.items.push_back(UiItem{2, kXTItemButton, "OK", 0, 0, true, false, {}});
  const XTWindow window = windows_.Add(std::move(alert));
  Line(Name(window) + " " + Transcript::Quote(title) + " " + Transcript::Quote(text));
  return window;
}

int32_t UiEngine::FindWindow(const char* window_class, const char* title, XTWindow* window) {
  if (host_.Fails("find_window")) return kXTErrInjected;
  if (window_class == nullptr || title == nullptr || window == nullptr) return kXTErrParam;
  *window = 0;
  if (std::string(window_class) != kDialogClass) return kXTErrNotFound;
  for (const auto& [id, w] : windows_.items()) {
    if (w.kind != UiWindow::kItem && w.title == title) {
      *window = id;
      return kXTOk;
    }
  }
  return kXTErrNotFound;
}

int32_t UiEngine::WindowItem(XTWindow window, int32_t item, XTWindow* item_window) {
  if (host_.Fails("window_item")) return kXTErrInjected;
  UiWindow* w = windows_.Find(window);
  if (item_window == nullptr || w == nullptr || w->kind == UiWindow::kItem ||
      w->FindItem(item) == nullptr) {
    return kXTErrParam;
  }
  for (const auto& [id, candidate] : windows_.items()) {
    if (candidate.kind == UiWindow::kItem && candidate.parent == window && candidate.item == item) {
      *item_window = id;
      return kXTOk;
    }
  }
  UiWindow made;
  made.kind = UiWindow::kItem;
  made.parent = window;
  made.item = item;
  *item_window = windows_.Add(std::move(made));
  return kXTOk;
}

int32_t UiEngine::PostMessage(XTWindow window, uint32_t message, int32_t, int32_t) {
  if (host_.Fails("post_message")) return kXTErrInjected;
  UiWindow* w = windows_.Find(window);
  if (w == nullptr || w->kind != UiWindow::kItem) return kXTErrParam;
  UiWindow* parent = windows_.Find(w->parent);
  if (parent == nullptr) return kXTErrParam;
  const UiItem* item = parent->FindItem(w->item);
  const bool button = item != nullptr && item->kind == kXTItemButton;
  if (message == kXTMessageButtonDown) {
    w->pressed = button;
  } else if (message == kXTMessageButtonUp && w->pressed) {
    // A click: down and up on the same button.
    w->pressed = false;
    if (parent->kind == UiWindow::kHostAlert) {
      const XTWindow alert = w->parent;
      Line(Name(alert) + " dismissed");
      RemoveWindow(alert);
    } else {
      Line(Name(w->parent) + " item " + std::to_string(w->item) + " clicked");
    }
  }
  return kXTOk;
}

}  // namespace xthost
