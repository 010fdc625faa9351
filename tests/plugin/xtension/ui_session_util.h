// A session of the stand-in host with the plug-in linked into the test,
// run in a child process: a folder of its own as the current folder (the
// program log, the settings file), a registry of its own, the plug-in's
// dialog templates, and one stream that receives the transcript and the
// program log in the order they are written.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"

struct Session {
  std::string settings;              // XTensions/brenix.ini; none when empty
  std::vector<std::string> answers;  // scripted answers
  bool batchFlag = false;            // the registry batch flag raised
  // Files written into the session's folder before the host starts: a
  // relative path and the content.
  std::vector<std::pair<std::string, std::string>> files;
  // Runs in the session's folder just before the host starts.
  std::function<void()> beforeStart;
};

// Starts the host with the plug-in, runs `body`, quits.  Returns the
// merged transcript and log, then "--\n" and what `body` returned; standard
// error (the log records) follows after "--stderr--\n".
std::string RunSession(const Session& session, const std::function<std::string(xthost::Host&)>& body);

// The lines of `text` up to the "--" line that begin with one of
// `prefixes`; the whole text's lines when `prefixes` is empty.
std::vector<std::string> Lines(const std::string& text, const std::vector<std::string>& prefixes = {});
// The part of `text` after the "--" line, up to "--stderr--".
std::string BodyResult(const std::string& text);
// What was written to standard error.
std::string ErrorsOf(const std::string& text);
// The merged transcript and log.
std::string MergedOf(const std::string& text);
