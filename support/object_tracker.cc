#include "support/object_tracker.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

#include "support/program_log.h"

ObjectTracker& ObjectTracker::Instance() {
  // Never destroyed: objects released at unload still find it.
  static ObjectTracker* const tracker = new ObjectTracker;
  return *tracker;
}

void ObjectTracker::Alloc(const std::string& typeName, const void* object, const std::string& location) {
  if (!typeName.empty()) ++counts_[typeName];
  if (object) objects_[object] = location.empty() ? typeName : typeName + ": " + location;
}

void ObjectTracker::Free(const std::string& typeName, const void* object) {
  if (!typeName.empty()) --counts_[typeName];
  if (object) objects_.erase(object);
}

std::string ObjectTracker::Report() const {
  std::ostringstream listing;
  for (const auto& [name, count] : counts_) {
    if (count == 0) continue;
    listing << std::left << std::setw(64) << name << std::right << std::setw(16) << count << '\n';
  }
  if (listing.tellp() > 0) listing << '\n';

  // By text; objects with equal texts keep their address order.
  std::vector<std::pair<const void*, const std::string*>> byText;
  for (const auto& [object, text] : objects_) byText.emplace_back(object, &text);
  std::stable_sort(byText.begin(), byText.end(),
                   [](const auto& a, const auto& b) { return *a.second < *b.second; });
  for (const auto& [object, text] : byText) {
    listing << std::left << std::setw(10) << "0x" << std::setw(68) << std::hex
            << reinterpret_cast<uintptr_t>(object) << std::dec << *text << '\n';
  }

  std::string body = listing.str();
  if (body.empty()) return "\nMemory completely deallocated.\n";
  return "\nMemory allocated:\n" + body;
}

void TrackAlloc(const std::string& typeName, const void* object, const std::string& location) {
  ObjectTracker::Instance().Alloc(typeName, object, location);
}

void TrackFree(const std::string& typeName, const void* object) {
  ObjectTracker::Instance().Free(typeName, object);
}

void LogMemoryStatus(const std::string& location) {
  LogMessage(location, ObjectTracker::Instance().Report(), 6);
}
