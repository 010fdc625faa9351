// The line dialogue around one file transfer over a client connection: the
// file's name, its size, its data as transfer blocks and a token hash.
//
// Send answers the client's "wait_for_file" and checks each of its answers
// word for word; Receive answers a client that sends, checking only that
// its lines are not empty (and that the name is a plain file name).  A line
// that does not fit is answered with an error line and ends the dialogue;
// the connection stays as the failure left it.
#pragma once

#include <functional>
#include <string>

class ct_Connection;

namespace FileTransfer {

// Sends the file at `path` (deflated at level 1 when `compress`).  True when
// the client acknowledged everything and "file_transfer_end" was written.
bool Send(ct_Connection& connection, const std::string& path, bool compress);

// Called with the file's name once the client announced name and size,
// right before the data arrives.
using NameHook = std::function<void(const std::string& name)>;

// Receives one file into `folder`; answers its path (folder, separator,
// the client's name), or the empty text on any failure.  `compressed`
// tells whether the data arrived deflated.
std::string Receive(ct_Connection& connection, const std::string& folder, bool& compressed,
                    const NameHook& onName = NameHook());

// Why `name` is not a plain file name, or null when it is: it must not be
// empty, "." or "..", and holds no '/', '\\' or control character and at
// most 255 bytes.
const char* FileNameFault(const std::string& name);

}  // namespace FileTransfer
