// The stream of a log file (the program log, the server log): a file of
// one name only, made or emptied when it opens.  A link at the name (a
// symbolic link, or a second name of another file) is refused, so a log
// never writes into a file someone else put there; the stream is then bad
// and every insertion into it is lost.  What is inserted is written to the
// file at once.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

class LogFileStream : public std::ostream {
 public:
  LogFileStream();
  ~LogFileStream() override;
  LogFileStream(const LogFileStream&) = delete;
  LogFileStream& operator=(const LogFileStream&) = delete;

  // Opens `path`, emptying a regular file of one name there; false (errno
  // set, ELOOP for a link) and the stream bad when it cannot be.
  bool Open(const std::string& path);
  bool is_open() const;
  // Why Open failed, from its errno: "a link is at its name" for ELOOP.
  static std::string FailureText(int error);
  void close();

 private:
  class Buffer;
  std::unique_ptr<Buffer> buffer_;
};
