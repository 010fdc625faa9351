// The file-system tree: a small in-memory model of files and folders on disk.
//
// A node knows its name, its parent folder and a keep flag; its full path is
// built on demand from its ancestors' names joined with the platform
// separator, so re-parenting a folder moves everything below it.  Nodes
// create themselves on disk, test whether they exist and remove themselves
// (folders recursively, with retries 20 ms apart); a set keep flag blocks
// removal.  A node made from a root path builds and owns the folder chain
// above it.
//
// Ownership: child nodes belong to whoever made them; a folder only points
// to them.  Destroying a node never touches the disk, and leaves no pointer
// to it behind: the folders that list it forget it, and the nodes whose
// parent it was become parentless.
//
// Folders exist over std::string and TStrU; files and log files over
// std::string.  Operations report by their bool results and never throw;
// warnings are logged at level 5 and errors at level 6.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/date_time.h"
#include "support/log_file.h"
#include "support/object_tracker.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/tstru.h"

template <class TStr>
class NodeFSBase;
template <class TStr>
class ct_File;
template <class TStr>
class ct_Folder;

// A file-system node, in the order of its operations.
template <class TStr>
class INodeFS {
 public:
  // Makes the node on disk; false when it was not made (it exists already,
  // the name is empty, or the system refused).
  virtual bool Create() = 0;
  // Removes the node from disk; false when it is kept or removal failed.
  virtual bool Remove() = 0;
  // Sets the keep flag (a folder first sets it on all its children) and
  // returns the value set.
  virtual bool SetKeepFlag(bool keep) = 0;
  virtual bool GetKeepFlag() const = 0;
  // Whether the path exists; with `strict`, also whether it is of the
  // node's kind (a directory for folders, anything else for files).
  virtual bool Exists(bool strict) const = 0;
  virtual ~INodeFS() = default;
  // Comparisons of the component lists (ancestor names, then the name),
  // element by element as byte strings; the kind of node plays no part.
  virtual bool operator==(const NodeFSBase<TStr>& other) const = 0;
  virtual bool operator!=(const NodeFSBase<TStr>& other) const = 0;
  virtual bool operator<(const NodeFSBase<TStr>& other) const = 0;
  virtual bool operator>(const NodeFSBase<TStr>& other) const = 0;
};

namespace cnv_tools_detail {

inline const char* CStr(const std::string& s) { return s.c_str(); }
inline const char* CStr(const TStrU& s) { return reinterpret_cast<const char*>(s.c_str()); }

template <class TStr>
TStr FromNarrow(const std::string& s) {
  return TStr(s.begin(), s.end());
}

// Removes every trailing separator, a lone "/" included.
template <class TStr>
void DropTrailingSeparators(TStr& path) {
  while (!path.empty() && path.back() == static_cast<typename TStr::value_type>(kPathSeparator)) path.pop_back();
}

// The pause between two removal attempts, as RemoveFileWithRetry makes.
inline void PauseBeforeRetry() { std::this_thread::sleep_for(std::chrono::milliseconds(kRemoveRetryPauseMilliseconds)); }

inline std::string ErrorText(int error) { return std::string("Error: ") + std::strerror(error); }

}  // namespace cnv_tools_detail

// Creates one directory (its parent must exist).  False for an empty or
// existing path (silently) and when creation fails ("Error: " and the
// system's text logged at level 6); true when a directory is there after.
template <class TStr>
bool createDirectory(const TStr& path) {
  if (path.empty() || PathExists(path)) return false;
  if (::mkdir(cnv_tools_detail::CStr(path), 0777) != 0) {
    int error = errno;
    LogMessage(BRENIX_LOCATION("createDirectory"), cnv_tools_detail::ErrorText(error), 6);
  }
  bool isDirectory = false;
  return PathExists(path, &isDirectory) && isDirectory;
}

// Removes one empty directory, making at most `retries` + 1 attempts 20 ms
// apart; each failed attempt that is retried is logged at level 6.  False
// when the path is not a directory or the last attempt failed.
template <class TStr>
bool removeDirectory(const TStr& path, int retries) {
  bool isDirectory = false;
  if (!PathExists(path, &isDirectory) || !isDirectory) return false;
  for (int attempt = 0;; ++attempt) {
    if (::rmdir(cnv_tools_detail::CStr(path)) == 0) return true;
    int error = errno;
    if (attempt >= retries) return false;
    cnv_tools_detail::PauseBeforeRetry();
    LogMessage(BRENIX_LOCATION("removeDirectory"), cnv_tools_detail::ErrorText(error), 6);
  }
}

// What files and folders share: name, parent, keep flag, and the folder
// chain a path-constructed node owns.
template <class TStr>
class NodeFSBase : public INodeFS<TStr> {
 public:
  using Folder = ct_Folder<TStr>;

  // A node named `name` under `parent` (may be null), taking the parent's
  // keep flag.  It is not entered in the parent's maps here.
  NodeFSBase(const TStr& name, Folder* parent);
  // The path constructor: builds and owns one folder per component of
  // `rootPath` (the temporary folder when empty) and hangs this node below
  // the last one.  Trailing separators are ignored; what is left of the root
  // after the last split names the top folder ("/data" of "/data/jobs",
  // "C:" of a path without separators, "" of "/").  The chain's folders
  // list each other, the top has no parent, and this node is listed by
  // none.  With no temporary folder either, the node stays parentless.
  NodeFSBase(const TStr& name, const TStr& rootPath, bool keep);
  NodeFSBase(const NodeFSBase&) = delete;
  NodeFSBase& operator=(const NodeFSBase&) = delete;
  // Leaves its parent, then unregisters and deletes the owned chain, nearest
  // first, logging the memory status around each.
  ~NodeFSBase() override;

  TStr GetName() const { return m_name; }
  Folder* GetParent() const { return m_parent; }
  // Replaces the parent pointer; the maps of the old and new parent stay as
  // they are (AddFile and AddFolder enter a node in a map).
  void SetParent(Folder* parent);

  // The ancestors' names, root first; empty without a parent.
  std::deque<TStr> GetAncestorNames() const;
  // The ancestors' names, then this node's own.
  std::deque<TStr> GetComponents() const;
  // The ancestors' names joined with the separator; empty without a parent.
  // The flag is ignored.
  TStr GetParentPath(bool flag = false) const;
  // The parent path, the separator and the name; a node without a parent is
  // the top of its chain and its path is its name.  The flag is ignored.
  TStr GetPath(bool flag = false) const;

  bool SetKeepFlag(bool keep) override {
    m_keep = keep;
    return keep;
  }
  bool GetKeepFlag() const override { return m_keep; }

  bool operator==(const NodeFSBase& other) const override { return GetComponents() == other.GetComponents(); }
  bool operator!=(const NodeFSBase& other) const override { return !(*this == other); }
  bool operator<(const NodeFSBase& other) const override { return GetComponents() < other.GetComponents(); }
  bool operator>(const NodeFSBase& other) const override { return other.GetComponents() < GetComponents(); }

 protected:
  TStr m_name;
  bool m_keep = false;  // while set, Remove does nothing and answers false
  Folder* m_parent = nullptr;
  std::vector<Folder*> m_owned;  // the chain made by the path constructor, nearest first

  // Takes this node out of the maps that hold it (its files' map, or with
  // `asFolder` their folders' map).  The destructors of files and folders
  // call it while the node is still whole.
  void LeaveListers(bool asFolder);

 private:
  friend class ct_Folder<TStr>;

  Folder* MakeOwnedFolder(const TStr& name);
  // Hangs `below` (this node when null) under `folder`.
  void LinkBelow(Folder* below, Folder* folder);

  std::vector<Folder*> m_listers;  // the folders whose maps hold this node
};

// A file.  Create writes the current date and time as its one line.
template <class TStr>
class ct_File : public NodeFSBase<TStr> {
 public:
  // A file node under `parent`, entered in its map.  With `create` the file
  // is made on disk unless it exists ("Warning: file already exists!") or
  // the parent folder is missing ("Error: parent folder doesn't exist!");
  // a failed Create logs "Error: create failed!".  Never fails.
  ct_File(const TStr& name, ct_Folder<TStr>* parent, bool create);
  ~ct_File() override;

  // Makes the file exclusively (never over anything that is there) holding
  // "YYYY-MM-DD HH:MM:SS" and a line feed.
  bool Create() override;
  // Deletes the file with 3 retries, unless kept.
  bool Remove() override;
  bool Exists(bool strict) const override;
};

// A folder: a node with ordered, non-owning maps of its children by name.
template <class TStr>
class ct_Folder : public NodeFSBase<TStr> {
 public:
  // A folder node under `parent`, entered in its map; `create` as for files
  // (with "Warning: folder already exists!").
  ct_Folder(const TStr& name, ct_Folder* parent, bool create);
  // The path constructor of NodeFSBase; with `create` the folder is made
  // on disk ("Warning: folder already exists!", "Error: create failed!").
  ct_Folder(const TStr& name, const TStr& rootPath, bool create, bool keep);
  ~ct_Folder() override;

  // Enter a child under its name and make this folder its parent.  A name
  // already there keeps its entry: "Warning: duplicate file!" / "...folder!"
  // and false.
  bool AddFile(ct_File<TStr>* file);
  bool AddFolder(ct_Folder* folder);
  ct_Folder* FindFolder(const TStr& name) const;

  // Creates this folder and each missing folder between it and its nearest
  // existing ancestor (found through the ancestors' maps).  False when no
  // ancestor exists, a folder on the way is not in its parent's map, or this
  // folder's own Create fails (also when it exists already).
  bool CreateMissingFolders();

  bool Create() override;
  // Removes every child (folders, then files, in name order, going on after
  // failures), forgets them all, then removes the directory with 3 retries.
  // True only when everything went.  A kept folder does nothing.
  bool Remove() override;
  // Remove without the last step: the directory stays (for a mark in it
  // that must go after the rest).
  bool RemoveContents();
  bool SetKeepFlag(bool keep) override;
  bool Exists(bool strict) const override;

 protected:
  std::map<TStr, ct_File<TStr>*> m_files;
  std::map<TStr, ct_Folder*> m_folders;

 private:
  friend class NodeFSBase<TStr>;

  template <class Map>
  void Forget(Map& children);

  std::set<NodeFSBase<TStr>*> m_dependents;  // every node whose parent this is
};

// A file that holds its own output stream: the server log.  It is made
// without touching the disk first, then opens its stream on its path,
// truncating; a link at that name is refused (log_file.h) with a line on
// standard error, and the log is then not written.  While it is the current server log, LogMessage writes
// records into it; destroying it stops that.
template <class TStr>
class ct_LogFile : public ct_File<TStr>, public ServerLogSink {
 public:
  ct_LogFile(const TStr& name, ct_Folder<TStr>* parent);
  ~ct_LogFile() override;

  // Appends one record (see WriteServerLogRecord); nothing once closed.
  void WriteRecord(const std::string& name, const std::string& message) override;
  // Closes the stream; later records are lost.
  void Close() { m_stream.close(); }

 private:
  LogFileStream m_stream;
};

// ---------------------------------------------------------------------------
// NodeFSBase

template <class TStr>
NodeFSBase<TStr>::NodeFSBase(const TStr& name, Folder* parent)
    : m_name(name), m_keep(parent ? parent->GetKeepFlag() : false) {
  SetParent(parent);
}

template <class TStr>
NodeFSBase<TStr>::NodeFSBase(const TStr& name, const TStr& rootPath, bool keep) : m_name(name), m_keep(keep) {
  TStr root = rootPath.empty() ? cnv_tools_detail::FromNarrow<TStr>(GetTempFolderPath()) : rootPath;
  if (root.empty()) {
    // No temporary folder to hang the node in: it stays the top, its path
    // its own name.
    MakeOwnedFolder(root);
    return;
  }
  cnv_tools_detail::DropTrailingSeparators(root);
  TStr dir, last;
  Folder* below = nullptr;
  while (SplitPathChecked(root, dir, last, nullptr, true)) {
    Folder* folder = MakeOwnedFolder(last);
    LinkBelow(below, folder);
    below = folder;
    root = dir;
    cnv_tools_detail::DropTrailingSeparators(root);
  }
  // The rest of the root names the top folder; "" when the root was "/".
  LinkBelow(below, MakeOwnedFolder(root));
}

template <class TStr>
ct_Folder<TStr>* NodeFSBase<TStr>::MakeOwnedFolder(const TStr& name) {
  LogMemoryStatus(BRENIX_LOCATION("NodeFSBase::NodeFSBase"));
  Folder* folder = new Folder(name, nullptr, false);
  TrackAlloc("t_Folder<TStr>", folder, BRENIX_LOCATION("NodeFSBase::NodeFSBase"));
  LogMemoryStatus(BRENIX_LOCATION("NodeFSBase::NodeFSBase"));
  m_owned.push_back(folder);
  return folder;
}

template <class TStr>
void NodeFSBase<TStr>::LinkBelow(Folder* below, Folder* folder) {
  if (!below) {
    SetParent(folder);  // this node is not entered in the folder's maps
    return;
  }
  below->SetParent(folder);
  folder->AddFolder(below);
}

template <class TStr>
NodeFSBase<TStr>::~NodeFSBase() {
  SetParent(nullptr);
  for (Folder*& folder : m_owned) {
    if (!folder) continue;
    LogMemoryStatus(BRENIX_LOCATION("NodeFSBase::~NodeFSBase"));
    TrackFree("t_Folder<TStr>", folder);
    LogMemoryStatus(BRENIX_LOCATION("NodeFSBase::~NodeFSBase"));
    delete folder;
    folder = nullptr;
  }
  m_owned.clear();
}

template <class TStr>
void NodeFSBase<TStr>::SetParent(Folder* parent) {
  if (m_parent) m_parent->m_dependents.erase(this);
  m_parent = parent;
  if (m_parent) m_parent->m_dependents.insert(this);
}

template <class TStr>
void NodeFSBase<TStr>::LeaveListers(bool asFolder) {
  // Each lister holds this node under its name (entries go only with
  // Forget, which also drops the lister here).
  for (Folder* lister : m_listers) {
    if (asFolder)
      lister->m_folders.erase(m_name);
    else
      lister->m_files.erase(m_name);
  }
  m_listers.clear();
}

template <class TStr>
std::deque<TStr> NodeFSBase<TStr>::GetAncestorNames() const {
  std::deque<TStr> names;
  for (const Folder* folder = GetParent(); folder; folder = folder->GetParent()) names.push_front(folder->m_name);
  return names;
}

template <class TStr>
std::deque<TStr> NodeFSBase<TStr>::GetComponents() const {
  std::deque<TStr> components = GetAncestorNames();
  components.push_back(m_name);
  return components;
}

template <class TStr>
TStr NodeFSBase<TStr>::GetParentPath(bool /*flag*/) const {
  TStr path;
  bool first = true;
  for (const TStr& name : GetAncestorNames()) {
    if (!first) path.push_back(kPathSeparator);
    path += name;
    first = false;
  }
  return path;
}

template <class TStr>
TStr NodeFSBase<TStr>::GetPath(bool /*flag*/) const {
  if (!m_parent) return m_name;
  TStr path = GetParentPath();
  path.push_back(kPathSeparator);
  return path + m_name;
}

// ---------------------------------------------------------------------------
// ct_File

template <class TStr>
ct_File<TStr>::ct_File(const TStr& name, ct_Folder<TStr>* parent, bool create) : NodeFSBase<TStr>(name, parent) {
  if (create) {
    if (Exists(true))
      LogMessage(BRENIX_LOCATION("ct_File::ct_File"), "Warning: file already exists!", 5);
    else if (parent && !parent->Exists(true))
      LogMessage(BRENIX_LOCATION("ct_File::ct_File"), "Error: parent folder doesn't exist!", 6);
    else if (!ct_File::Create())
      LogMessage(BRENIX_LOCATION("ct_File::ct_File"), "Error: create failed!", 6);
  }
  if (parent) parent->AddFile(this);
}

template <class TStr>
ct_File<TStr>::~ct_File() {
  this->LeaveListers(false);
}

template <class TStr>
bool ct_File<TStr>::Create() {
  if (this->m_name.empty()) return false;
  TStr path = this->GetPath();
  if (PathExists(path)) return false;  // never over an existing file
  // Exclusive: a file that appeared meanwhile is not truncated either.
  int fd = ::open(cnv_tools_detail::CStr(path), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) return false;
  bool written = fd >= 0;
  if (written) {
    DateTime now;
    GetDateTime(now);
    std::ostringstream line;
    WriteDateTimeStamp(line, now) << '\n';
    std::string bytes = line.str();
    size_t done = 0;
    while (written && done < bytes.size()) {
      ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) written = false;
  }
  if (!written) LogMessage(BRENIX_LOCATION("ct_File::Create"), "Error: output file stream invalid", 6);
  return written;
}

template <class TStr>
bool ct_File<TStr>::Remove() {
  if (this->m_keep) return false;
  return RemoveFileWithRetry(this->GetPath(), 3);
}

template <class TStr>
bool ct_File<TStr>::Exists(bool strict) const {
  bool isDirectory = false;
  if (!PathExists(this->GetPath(), &isDirectory)) return false;
  return !(strict && isDirectory);
}

// ---------------------------------------------------------------------------
// ct_Folder

template <class TStr>
ct_Folder<TStr>::ct_Folder(const TStr& name, ct_Folder* parent, bool create) : NodeFSBase<TStr>(name, parent) {
  if (create) {
    if (Exists(true))
      LogMessage(BRENIX_LOCATION("ct_Folder::ct_Folder"), "Warning: folder already exists!", 5);
    else if (parent && !parent->Exists(true))
      LogMessage(BRENIX_LOCATION("ct_Folder::ct_Folder"), "Error: parent folder doesn't exist!", 6);
    else if (!ct_Folder::Create())
      LogMessage(BRENIX_LOCATION("ct_Folder::ct_Folder"), "Error: create failed!", 6);
  }
  if (parent) parent->AddFolder(this);
}

template <class TStr>
ct_Folder<TStr>::ct_Folder(const TStr& name, const TStr& rootPath, bool create, bool keep)
    : NodeFSBase<TStr>(name, rootPath, keep) {
  if (create) {
    if (Exists(true))
      LogMessage(BRENIX_LOCATION("ct_Folder::ct_Folder"), "Warning: folder already exists!", 5);
    else if (!ct_Folder::Create())
      LogMessage(BRENIX_LOCATION("ct_Folder::ct_Folder"), "Error: create failed!", 6);
  }
}

template <class TStr>
ct_Folder<TStr>::~ct_Folder() {
  this->LeaveListers(true);
  Forget(m_files);
  Forget(m_folders);
  for (NodeFSBase<TStr>* node : m_dependents) node->m_parent = nullptr;
  m_dependents.clear();
}

template <class TStr>
template <class Map>
void ct_Folder<TStr>::Forget(Map& children) {
  for (auto& entry : children) {
    if (!entry.second) continue;
    auto& listers = entry.second->m_listers;
    listers.erase(std::remove(listers.begin(), listers.end(), this), listers.end());
  }
  children.clear();
}

template <class TStr>
bool ct_Folder<TStr>::AddFile(ct_File<TStr>* file) {
  if (!file) return false;
  if (!m_files.emplace(file->GetName(), file).second) {
    LogMessage(BRENIX_LOCATION("ct_Folder::AddFile"), "Warning: duplicate file!", 5);
    return false;
  }
  file->SetParent(this);
  file->m_listers.push_back(this);
  return true;
}

template <class TStr>
bool ct_Folder<TStr>::AddFolder(ct_Folder* folder) {
  if (!folder) return false;
  if (!m_folders.emplace(folder->GetName(), folder).second) {
    LogMessage(BRENIX_LOCATION("ct_Folder::AddFolder"), "Warning: duplicate folder!", 5);
    return false;
  }
  folder->SetParent(this);
  folder->m_listers.push_back(this);
  return true;
}

template <class TStr>
ct_Folder<TStr>* ct_Folder<TStr>::FindFolder(const TStr& name) const {
  auto it = m_folders.find(name);
  return it == m_folders.end() ? nullptr : it->second;
}

template <class TStr>
bool ct_Folder<TStr>::CreateMissingFolders() {
  if (this->m_name.empty()) return false;
  std::deque<TStr> components = this->GetComponents();
  // Up to the nearest existing folder; components[p - 1] is `node`'s name.
  size_t p = components.size();
  ct_Folder* node = this;
  while (p > 0 && !node->Exists(true)) {
    --p;
    node = node->GetParent();
    if (!node) return false;  // nothing above exists
  }
  // Down again, creating each folder below it.
  for (++p; p < components.size(); ++p) {
    node = node->FindFolder(components[p - 1]);
    if (!node) return false;
    node->Create();  // its result does not matter; the last Create decides
  }
  return Create();
}

template <class TStr>
bool ct_Folder<TStr>::Create() {
  if (this->m_name.empty()) return false;
  return createDirectory(this->GetPath());
}

template <class TStr>
bool ct_Folder<TStr>::RemoveContents() {
  if (this->m_keep) return false;
  bool ok = true;
  for (auto& entry : m_folders)
    if (entry.second && !entry.second->Remove()) ok = false;
  Forget(m_folders);
  for (auto& entry : m_files)
    if (entry.second && !entry.second->Remove()) ok = false;
  Forget(m_files);
  return ok;
}

template <class TStr>
bool ct_Folder<TStr>::Remove() {
  if (this->m_keep) return false;
  const bool ok = RemoveContents();
  bool done = removeDirectory(this->GetPath(), 3);
  return done && ok;
}

template <class TStr>
bool ct_Folder<TStr>::SetKeepFlag(bool keep) {
  for (auto& entry : m_folders)
    if (entry.second) entry.second->SetKeepFlag(keep);
  for (auto& entry : m_files)
    if (entry.second) entry.second->SetKeepFlag(keep);
  this->m_keep = keep;
  return keep;
}

template <class TStr>
bool ct_Folder<TStr>::Exists(bool strict) const {
  bool isDirectory = false;
  if (!PathExists(this->GetPath(), &isDirectory)) return false;
  return !strict || isDirectory;
}

// ---------------------------------------------------------------------------
// ct_LogFile

template <class TStr>
ct_LogFile<TStr>::ct_LogFile(const TStr& name, ct_Folder<TStr>* parent) : ct_File<TStr>(name, parent, false) {
  const std::string path = cnv_tools_detail::CStr(this->GetPath());
  if (!m_stream.Open(path)) {
    const std::string line = "Brenix: the server log " + path + " cannot be created: " +
                             LogFileStream::FailureText(errno) + "; it is not written\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
}

template <class TStr>
ct_LogFile<TStr>::~ct_LogFile() {
  if (CurrentServerLog() == this) SetCurrentServerLog(nullptr);
}

template <class TStr>
void ct_LogFile<TStr>::WriteRecord(const std::string& name, const std::string& message) {
  WriteServerLogRecord(m_stream, name, message);
}

// Compiled once, in CnvTools.cc.
extern template class NodeFSBase<std::string>;
extern template class ct_File<std::string>;
extern template class ct_Folder<std::string>;
extern template class ct_LogFile<std::string>;
extern template class NodeFSBase<TStrU>;
extern template class ct_Folder<TStrU>;
