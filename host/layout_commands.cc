#include "host/layout_commands.h"

#include <cstdio>
#include <sstream>

#include "host/compose.h"
#include "host/document_ops.h"
#include "host/layout_walk.h"
#include "host/story_changes.h"
#include "host/utf.h"

namespace xthost {
namespace {

constexpr const char* kKindNames[] = {"text", "picture", "empty", "line", "group"};

std::string Points(int32_t fixed) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", fixed / 65536.0);
  return buffer;
}

std::string Hex(uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*x", digits, value);
  return buffer;
}

std::string Quoted(const std::u16string& units) {
  std::string text;
  return Utf16ToUtf8(units, &text) ? Transcript::Quote(text) : "(not UTF-16)";
}

std::string DataText(const ItemData& data) {
  std::string text;
  for (const auto& [key, bytes] : data) {
    text += " data " + Hex(key, 8) + "=";
    for (const uint8_t byte : bytes) text += Hex(byte, 2);
  }
  return text;
}

std::string ItemLine(const DocumentContent& content, int32_t project, const Box& item,
                     const std::string& indent) {
  const ItemPlace place = PlaceOf(content, item);
  std::string line = indent + "item " + std::to_string(BoxHandle(project, item.id)) + " id " +
                     std::to_string(item.id) + " " + kKindNames[item.kind];
  if (item.story != 0) line += " story " + std::to_string(item.story);
  line += " bounds " + Points(item.bounds[0]) + " " + Points(item.bounds[1]) + " " +
          Points(item.bounds[2]) + " " + Points(item.bounds[3]);
  if (item.rotation != 0) line += " rotation " + Points(item.rotation);
  if (item.shape != kShapeRectangle) line += " shape " + std::to_string(item.shape);
  line += " layer " + std::to_string(item.layer);
  if (item.locked) line += " locked";
  line += " page " + std::to_string(place.spread) + " " + std::to_string(place.side) + " " +
          std::to_string(place.page) + " " + std::to_string(PageNumberOf(content, place));
  if (item.group != 0) line += " group " + std::to_string(item.group);
  const Box* head = ChainHead(content, item);
  if (head != &item) line += " parent " + std::to_string(head->id);
  if (item.parent != 0) line += " parent " + std::to_string(item.parent);
  if (item.master_item != 0) {
    line += " master item " + std::to_string(item.master_item) +
            (item.follows ? " follows" : " edited");
  }
  if (IsMasterItem(content, item)) line += " on master";
  return line + DataText(item.data);
}

// The item and, after a text box heading its chain, the items anchored in
// its story, indented one step further.
void DescribeItem(const DocumentContent& content, int32_t project, int32_t id,
                  const std::string& indent, std::vector<std::string>* lines, int depth) {
  const Box* item = content.FindBox(id);
  if (item == nullptr || depth > 32) return;
  lines->push_back(ItemLine(content, project, *item, indent));
  if (item->kind == kTextItem && ChainHead(content, *item) == item) {
    const std::vector<int32_t> anchored_items = AnchoredItems(content, item->story);
    if (!anchored_items.empty()) {
      lines->push_back(indent + "  anchored in story " + std::to_string(item->story) + ":");
    }
    for (const int32_t anchored : anchored_items) {
      DescribeItem(content, project, anchored, indent + "    ", lines, depth + 1);
      const Box* held = content.FindBox(anchored);
      if (held != nullptr && held->kind == kGroupItem) {
        for (const int32_t member : GroupMembers(content, anchored)) {
          DescribeItem(content, project, member, indent + "    ", lines, depth + 1);
        }
      }
    }
  }
}

void DescribeSpread(const DocumentContent& content, int32_t project, int32_t layout, bool master,
                    int32_t spread, std::vector<std::string>* lines) {
  for (const int32_t id : SpreadItems(content, layout, master, spread)) {
    DescribeItem(content, project, id, "    ", lines, 0);
  }
}

bool TypeText(Host& host, const std::string& value, std::string* error) {
  std::istringstream in(value);
  int32_t box_id = 0;
  int32_t position = 0;
  if (!(in >> box_id >> position)) {
    *error = "needs BOX POS TEXT";
    return false;
  }
  std::string text;
  std::getline(in >> std::ws, text);
  std::u16string units;
  if (!Utf8ToUtf16(text, &units)) {
    *error = "the text is not UTF-8";
    return false;
  }
  DocumentContent* content = CurrentContent(host);
  const Box* box = content->FindBox(box_id);
  Story* story = box != nullptr ? content->FindStory(box->story) : nullptr;
  if (story == nullptr) {
    *error = "no text box " + std::to_string(box_id);
    return false;
  }
  if (!story->Insert(position, units)) {
    *error = "no position " + std::to_string(position) + " in story " + std::to_string(story->id);
    return false;
  }
  PlainTypedUnits(*content, *story, position, position + static_cast<int32_t>(units.size()));
  const int32_t story_id = story->id;
  content->flags |= 1;
  host.transcript().Line("type story " + std::to_string(story_id) + " " +
                         std::to_string(position) + " " + Transcript::Quote(text));
  AfterStoryChange(host, host.app().current_document, story_id,
                   {StoryChange::kInsert, position,
                    position + static_cast<int32_t>(units.size())});
  return true;
}

}  // namespace

std::vector<std::string> DescribeLayout(const DocumentContent& content, int32_t project) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < content.layouts.size(); ++i) {
    const Layout& layout = content.layouts[i];
    const int32_t index = static_cast<int32_t>(i);
    std::string type;
    for (int shift = 24; shift >= 0; shift -= 8) type += static_cast<char>(layout.type >> shift);
    lines.push_back("layout " + std::to_string(i) + " " + Quoted(layout.name) + " type " + type +
                    " document " + std::to_string(project + index) + " view " +
                    std::to_string(layout.view) +
                    (index == content.current_layout ? " current" : ""));
    for (int32_t s = 1; s <= layout.MasterCount(); ++s) {
      const Page& page = layout.MasterPage(s);
      lines.push_back("  master spread " + std::to_string(s) + " " +
                      Quoted(s <= 2 ? std::u16string(s == 1 ? u"Blank Single" : u"Blank Facing")
                                    : layout.masters[static_cast<std::size_t>(s - 3)].name) +
                      " page " + std::to_string(s) + " size " + Points(page.width) + " " +
                      Points(page.height) + DataText(page.data));
      DescribeSpread(content, project, index, true, s, &lines);
    }
    int32_t number = layout.MasterCount();
    for (std::size_t s = 0; s < layout.spreads.size(); ++s) {
      lines.push_back("  spread " + std::to_string(s + 1) + " pages " +
                      std::to_string(layout.spreads[s].pages.size()));
      for (std::size_t p = 0; p < layout.spreads[s].pages.size(); ++p) {
        const Page& page = layout.spreads[s].pages[p];
        ++number;
        lines.push_back("    page " + std::to_string(p) + " host page " + std::to_string(number) +
                        " number " + std::to_string(number - layout.MasterCount()) + " size " +
                        Points(page.width) + " " + Points(page.height) + " master " +
                        std::to_string(page.master) + DataText(page.data));
      }
      DescribeSpread(content, project, index, false, static_cast<int32_t>(s + 1), &lines);
    }
  }
  for (const Layer& layer : content.layers) {
    lines.push_back("layer " + std::to_string(layer.id) + " " + Quoted(layer.name) +
                    (layer.visible ? " visible" : " hidden") + (layer.locked ? " locked" : ""));
  }
  if (!content.data.empty()) lines.push_back("document" + DataText(content.data));
  return lines;
}

bool RunLayoutCommand(Host& host, const std::string& name, const std::string& value) {
  std::string error;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) {
    error = "no current document";
  } else if (name == "layout") {
    for (const std::string& line : DescribeLayout(*content, host.app().current_document)) {
      host.transcript().Line(line);
    }
  } else if (name == "view") {
    Layout* layout = content->CurrentLayout();
    const int32_t index = std::atoi(value.c_str());
    if (layout == nullptr || index < 0 || (index >= 2 && index + 2 > layout->MasterCount())) {
      error = "no view " + value;
    } else {
      layout->view = index;
      host.transcript().Line("view " + std::to_string(index));
    }
  } else if (name == "layout-select") {
    const int32_t index = std::atoi(value.c_str());
    if (index < 0 || static_cast<std::size_t>(index) >= content->layouts.size()) {
      error = "no layout " + value;
    } else {
      content->current_layout = index;
      host.transcript().Line("layout " + std::to_string(index) + " current");
    }
  } else if (name == "type") {
    TypeText(host, value, &error);
  } else if (name == "lines") {
    return RunComposeCommand(host, name, value);
  } else {
    error = "unknown command";
  }
  return FinishCommand(host, name, error);
}

}  // namespace xthost
