// What the plug-in's shell calls or registers but other parts of the
// plug-in do: the import command.  Until it
// arrives this stand-in answers as their callers need and write "... is not
// available yet" to the program log; the import also tells the user (an
// alert and the failed result dialog, both suppressed in unattended work).
// Here is the body of the action 17 (actions.h).
#pragma once

#include <cstdint>
#include <string>

