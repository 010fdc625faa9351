#include "host/fail_plan.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "host/entry_names.h"

namespace xthost {

bool FailPlan::Parse(const std::string& text, FailPlan* plan, std::string* error) {
  FailPlan result;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.empty()) continue;
    const auto colon = item.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == item.size()) {
      *error = "bad rule \"" + item + "\" (want NAME:N or NAME:*)";
      return false;
    }
    Rule rule;
    rule.name = item.substr(0, colon);
    // A misspelt name would pass with no fault injected.
    if (!IsHostEntryName(rule.name.substr(0, rule.name.find('/')))) {
      *error = "no host entry is called \"" + rule.name.substr(0, rule.name.find('/')) + "\" (in \"" + item + "\")";
      return false;
    }
    const std::string count = item.substr(colon + 1);
    if (count != "*") {
      char* end = nullptr;
      errno = 0;
      rule.nth = std::strtol(count.c_str(), &end, 10);
      if (*end != '\0' || rule.nth < 1 || errno == ERANGE) {
        *error = "bad count in \"" + item + "\" (want a number from 1, or *)";
        return false;
      }
    }
    result.rules_.push_back(rule);
  }
  *plan = std::move(result);
  return true;
}

bool FailPlan::Fails(const std::string& name, const std::string& qualifier, std::string* rule) {
  // Only calls some rule names are counted: every host call asks, and most
  // runs have no plan at all.
  if (rules_.empty()) return false;
  std::vector<std::string> names{name};
  if (!qualifier.empty()) names.push_back(name + "/" + qualifier);
  bool fails = false;
  for (const std::string& counted : names) {
    if (std::none_of(rules_.begin(), rules_.end(),
                     [&counted](const Rule& r) { return r.name == counted; })) {
      continue;
    }
    const long n = ++counts_[counted];
    for (const Rule& r : rules_) {
      if (!fails && r.name == counted && (r.nth == 0 || r.nth == n)) {
        fails = true;
        *rule = counted + " #" + std::to_string(n);
      }
    }
  }
  return fails;
}

}  // namespace xthost
