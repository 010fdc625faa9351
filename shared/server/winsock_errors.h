// Texts for socket error codes, as the server writes them to its logs.
#pragma once

#include <cstdint>
#include <string>

struct WinsockErrorRow {
  int32_t code;
  const char* text;
};

// The 50 known codes with their texts, sorted by code.
extern const WinsockErrorRow WinsockErrorTable[50];

// prefix + ": " + the code's text ("unknown error" when the table lacks it)
// + " (" + code + ")", cut to 255 characters.  Code 0 stands for the last
// socket error of the thread.  The text lives in one static buffer that the
// next call overwrites.
const char* WinsockErrorText(const char* prefix, int32_t code);

// WinsockErrorText(reason, or "UNKNOWN REASON" when empty; the last socket
// error), with "\tCOMMENT: " + comment appended when comment is not empty.
std::string SocketErrorText(const std::string& reason, const std::string& comment);
