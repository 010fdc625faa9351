#include "host/application.h"

#include <algorithm>

namespace xthost {

Document* Application::FindDocument(int32_t id) {
  for (Document& d : documents) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

Document* Application::FindLayoutDocument(int32_t id, int32_t* layout) {
  for (Document& d : documents) {
    if (id >= d.id && id < d.id + d.ids) {
      if (layout != nullptr) *layout = id - d.id;
      return &d;
    }
  }
  return nullptr;
}

int32_t Application::OpenDocument(const std::string& path, int32_t flags, int32_t layouts) {
  Document d;
  d.id = next_document_;
  d.ids = std::max(layouts, 1);
  next_document_ += d.ids;
  d.path = path;
  d.open_flags = flags;
  documents.push_back(d);
  current_document = d.id;
  front_window = d.id;
  return d.id;
}

bool Application::CloseDocument(int32_t id) {
  auto it = std::find_if(documents.begin(), documents.end(),
                         [id](const Document& d) { return d.id == id; });
  if (it == documents.end()) return false;
  documents.erase(it);
  if (current_document == id) current_document = documents.empty() ? 0 : documents.back().id;
  if (front_window == id) front_window = current_document;
  return true;
}

}  // namespace xthost
