// CDataFile: the plug-in's ini file in memory.
//
// An ordered list of sections, each an ordered list of key/value pairs, with
// the comment lines that precede sections and keys kept and written back
// before them; comment lines after the last key are kept for the end of the
// file.  Look-ups compare names without regard to case.  Load adds to what
// the object holds without making it dirty; only a real change (a value, a
// section, another file name) does, and only a dirty object is saved when
// destroyed.  Save writes a temporary file beside the target and
// renames it over the target, so a failed save leaves the old file whole.
// Failures are false results plus one report line on standard output
// ("<level> [CDataFile::Operation] message"); nothing is thrown.
#pragma once

#include <deque>
#include <ostream>
#include <string>
#include <unordered_map>

// A line whose first character is one of these is a comment; ';' is written.
inline constexpr char IniCommentChars[] = ";#";
// The first of these in a key line ends the key name; '=' is written.
inline constexpr char IniSeparatorChars[] = "=:";
inline constexpr char IniWhitespaceChars[] = " \t\n\r";

class CDataFile {
 public:
  // Flag bits: SetValue creates a missing section / a missing key.
  enum : unsigned { kAutoCreateSections = 2, kAutoCreateKeys = 4 };

  struct Key {
    std::string key;
    std::string value;
    std::string comment;
  };
  struct Section {
    std::string name;
    std::string comment;
    std::deque<Key> keys;  // a deque: pointers to keys stay valid as keys are added
    // The keys by lowered name, so that look-ups (and a load) take no time
    // that grows with the number of keys.
    std::unordered_map<std::string, Key*> keyIndex;
  };

  // Flags 6, no file name, clean, one section with the empty name.
  CDataFile();
  // Saves when dirty, then releases everything.
  virtual ~CDataFile();
  CDataFile(const CDataFile&) = delete;
  CDataFile& operator=(const CDataFile&) = delete;

  unsigned GetFlags() const { return flags_; }
  void SetFlags(unsigned flags) { flags_ = flags; }
  const std::string& GetFileName() const { return fileName_; }
  bool IsDirty() const { return dirty_; }

  // Clean, no file name, no sections (not even the unnamed one), no comments.
  void Clear();
  // Stores the name; a change from a non-empty name (other than in letter
  // case) makes the object dirty and is reported at level 2.
  void SetFileName(const std::string& name);
  // Adds the file's sections, keys and comments (lines of any length; a
  // line ends at a line feed, a NUL ends its text).  False, with a report and
  // nothing changed, when the file cannot be read or is refused: only
  // regular files (links resolved) of up to 16 MiB are read (see
  // ini_storage.h, which also says where files are read from).
  bool Load(const std::string& fileName);
  // Writes every section and key; false with a report when there is nothing
  // to save, no file name, or the file cannot be written in full.
  bool Save();

  // Appends a section; false (reported) when one of that name exists, or
  // when the name holds a line feed.
  bool CreateSection(const std::string& name, const std::string& comment);
  // Sets the value and comment of a key, creating the section and the key as
  // the flags allow (a missing key only with a non-empty value).  False when
  // nothing was stored, or when the key or value holds a line feed.
  bool SetValue(const std::string& key, const std::string& value, const std::string& comment,
                const std::string& section);

  Section* GetSection(const std::string& name);
  Key* GetKey(const std::string& key, const std::string& section);
  bool KeyExists(const std::string& key, const std::string& section);
  // The value, or the empty text when the key or section is missing.
  std::string GetValue(const std::string& key, const std::string& section);
  std::string GetString(const std::string& key, const std::string& section);
  // True when the value contains '1', or is "true" or "yes" in any case.
  bool GetBool(const std::string& key, const std::string& section);

  int KeyCount() const;
  int SectionCount() const;

  // Comment lines of the file after its last key, joined by line feeds.
  const std::string& TrailingComment() const { return trailingComment_; }

  // Removes leading whitespace and separator characters and trailing
  // whitespace (a value's own trailing '=' or ':' stays).
  static void Trim(std::string& text);
  // The trimmed text before the first separator; `line` keeps the text after
  // it (or becomes empty when there is none).
  static std::string GetNextWord(std::string& line);
  // The comment as stored and written: trimmed, and each line that does not
  // begin with a comment character gets "; " before it.
  static std::string CommentStr(const std::string& comment);
  // 0 when the texts are equal after tolower of each character, else 1.
  static int CompareNoCase(const std::string& a, const std::string& b);

  // Writes "<prefix>message" and a line feed (unless the message ends in one
  // or in a carriage return) to standard output; level 0-5 give "<debug> ",
  // "<info> ", "<warn> ", "<error> ", "<fatal> ", "<critical> ".
  static void Report(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes the formatted text and a line feed (unless it ends in a line feed
  // or a carriage return); returns the number of characters written.
  static int WriteLn(std::ostream& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  // The text the file gets: sections, keys and trailing comment.
  std::string Render() const;

  unsigned flags_ = kAutoCreateSections | kAutoCreateKeys;
  std::deque<Section> sections_;  // a deque: section pointers stay valid
  std::unordered_map<std::string, Section*> sectionIndex_;  // by lowered name
  std::string fileName_;
  std::string trailingComment_;
  bool dirty_ = false;
};
