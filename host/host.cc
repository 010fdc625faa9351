#include "host/host.h"

#include <dlfcn.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace xthost {

Host* Host::current_ = nullptr;

Host::Host(HostOptions options)
    : transcript_(options.transcript ? options.transcript : &std::cout),
      fail_(std::move(options.fail)),
      sigterm_(std::move(options.sigterm)),
      stop_(std::move(options.stop)),
      xtensions_(std::move(options.xtensions)),
      activate_rec_(MakeActivateRec()),
      register_rec_(MakeRegisterRec()) {
  if (current_ != nullptr) {
    std::fprintf(stderr, "xthost: a second host was made while one lives\n");
    std::abort();
  }
  current_ = this;
  app_.clock = options.clock;
  app_.answers.assign(options.answers.begin(), options.answers.end());
  std::string temp = options.temp_folder;
  if (temp.empty()) {
    const char* env = std::getenv("TMPDIR");
    temp = env != nullptr && *env != '\0' ? env : "/tmp";
  }
  app_.temp_folder = FolderTable::Absolute(temp);
  app_.application_folder =
      std::filesystem::path(FolderTable::Absolute(xtensions_)).parent_path().string();
}

Host::~Host() {
  Quit();
  current_ = nullptr;
}

Host& Host::Current() {
  if (current_ == nullptr) {
    std::fprintf(stderr, "xthost: a host entry was called while no host lives\n");
    std::abort();
  }
  return *current_;
}

bool Host::IsBorrowedString(XTString string) const {
  for (const auto& item : paths.items()) {
    if (item.second.text == string) return true;
  }
  return false;
}

bool Host::PlannedFailure(std::string_view name, std::string_view qualifier) {
  std::string rule;
  if (!fail_.Fails(std::string(name), std::string(qualifier), &rule)) return false;
  transcript_.Line("fail " + rule);
  return true;
}

void Host::PlannedSignal(FailPlan& plan, const char* word, int signal, std::string_view name,
                         std::string_view qualifier) {
  std::string rule;
  if (!plan.Fails(std::string(name), std::string(qualifier), &rule)) return;
  transcript_.Line(word + rule);
  std::fflush(nullptr);
  ::raise(signal);
}

bool Host::Start() {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> libraries;
  for (fs::directory_iterator it(xtensions_, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".so" && it->is_regular_file()) libraries.push_back(it->path());
  }
  if (ec) {
    std::fprintf(stderr, "xthost: cannot read the XTensions folder %s: %s\n", xtensions_.c_str(),
                 ec.message().c_str());
    return false;
  }
  std::sort(libraries.begin(), libraries.end());
  for (const fs::path& path : libraries) {
    auto plugin = std::make_unique<Plugin>();
    plugin->name = path.filename().string();
    transcript_.Line("load " + plugin->name);
    // RTLD_NODELETE: after dlclose the library's code and data stay mapped
    // until the program ends, and its global objects are destroyed then.
    // That is what g++'s unique symbols make of most libraries anyway, and
    // it keeps the leak checker able to see what the library's globals hold.
    plugin->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (plugin->library == nullptr) {
      std::fprintf(stderr, "xthost: %s\n", dlerror());
      transcript_.Line("load " + plugin->name + " failed");
      continue;
    }
    plugin->activate = reinterpret_cast<XTActivateFn>(dlsym(plugin->library, kXTActivateSymbol));
    plugins_.push_back(std::move(plugin));
    Plugin& loaded = *plugins_.back();
    if (loaded.activate == nullptr) {
      transcript_.Line("load " + loaded.name + ": no " + kXTActivateSymbol);
      Retire(loaded);
      continue;
    }
    Activate(loaded);
  }
  ui_.AddMenus();
  return true;
}

void Host::StartLinked(const std::string& name, XTActivateFn entry) {
  auto plugin = std::make_unique<Plugin>();
  plugin->name = name;
  plugin->activate = entry;
  transcript_.Line("load " + name);
  plugins_.push_back(std::move(plugin));
  Activate(*plugins_.back());
  ui_.AddMenus();
}

void Host::Activate(Plugin& plugin) {
  transcript_.Line("activate " + plugin.name);
  calling_ = &plugin;
  const int32_t status = plugin.activate(&activate_rec_);
  calling_ = nullptr;
  transcript_.Line("activate " + plugin.name + " -> " + Transcript::Hex(status));
  if (status != 0) {
    Retire(plugin);
    return;
  }
  // The reservation runs first: the registration registers callbacks under
  // the ids it reserved.
  if (plugin.reservation != nullptr && RunRoutine(plugin, plugin.reservation, "reservation") != 0) {
    Retire(plugin);
    return;
  }
  if (plugin.registration != nullptr &&
      RunRoutine(plugin, plugin.registration, "registration") != 0) {
    Retire(plugin);
    return;
  }
  plugin.active = true;
}

int32_t Host::RunRoutine(Plugin& plugin, XTRegisterRoutine routine, const char* what) {
  transcript_.Line(std::string(what) + " " + plugin.name);
  calling_ = &plugin;
  const int32_t status = routine(&register_rec_);
  calling_ = nullptr;
  transcript_.Line(std::string(what) + " " + plugin.name + " -> " + Transcript::Hex(status));
  return status;
}

void Host::Retire(Plugin& plugin) {
  // A plug-in that failed to register may have registered its shut-down
  // callback already; it gets it, so that it can release what it built.
  for (std::size_t i = 0; i < plugin.callbacks.size(); ++i) {
    if (plugin.callbacks[i].kind != kXTShutdown) continue;
    XTVoidRec record{kXTShutdown};
    calling_ = &plugin;
    const int32_t result = plugin.callbacks[i].routine(&record);
    calling_ = nullptr;
    transcript_.Line("shutdown " + plugin.name + " -> " + std::to_string(result));
  }
  plugin.active = false;
  plugin.callbacks.clear();
  plugin.reservation = nullptr;
  plugin.registration = nullptr;
  plugin.activate = nullptr;
  if (plugin.library != nullptr) {
    if (dlclose(plugin.library) != 0) std::fprintf(stderr, "xthost: %s\n", dlerror());
    plugin.library = nullptr;
  }
  transcript_.Line("unload " + plugin.name);
}

int32_t Host::Deliver(void* record) {
  const int32_t kind = *static_cast<const int32_t*>(record);
  // Collected first: a routine may register further callbacks while it runs.
  std::vector<std::pair<Plugin*, XTCallback>> targets;
  for (const auto& plugin : plugins_) {
    if (!plugin->active) continue;
    for (const Plugin::Callback& callback : plugin->callbacks) {
      if (callback.kind == kind) targets.emplace_back(plugin.get(), callback.routine);
    }
  }
  int32_t result = 0;
  for (const auto& [plugin, routine] : targets) {
    if (!plugin->active) continue;
    Plugin* outer = calling_;
    calling_ = plugin;
    result = routine(record);
    calling_ = outer;
  }
  return result;
}

std::string Host::LeftoverBlocks() const {
  // Memory blocks and polygons are named only when a plug-in left some.
  std::size_t polygons = 0;
  for (const auto& [id, polygon] : docs.polygons.items()) polygons += polygon.host_owned ? 0 : 1;
  std::string text;
  if (docs.blocks.size() > 0) text += " blocks=" + std::to_string(docs.blocks.size());
  if (polygons > 0) text += " polygons=" + std::to_string(polygons);
  return text;
}

void Host::Idle(int ticks) {
  transcript_.Line("idle " + std::to_string(ticks));
  for (int i = 0; i < ticks; ++i) {
    if (app_.quit_requested) {
      transcript_.Line("idle stopped: quit requested");
      break;
    }
    XTIdleRec record{kXTIdle, ++idle_tick_};
    Deliver(&record);
  }
}

void Host::Quit() {
  if (quit_) return;
  quit_ = true;
  transcript_.Line("quit");
  for (const auto& plugin : plugins_) {
    if (plugin->active || plugin->library != nullptr) Retire(*plugin);
  }
  ui_.ReportLeftovers();
  transcript_.Line("handles strings=" + std::to_string(strings.size()) +
                   " paths=" + std::to_string(paths.size()) + " converters=" +
                   std::to_string(converters.size()) + " files=" + std::to_string(files.size()) +
                   " modules=" + std::to_string(modules.size()) +
                   " documents=" + std::to_string(app_.documents.size()) + LeftoverBlocks());
}

}  // namespace xthost
