// Routines that registration calls or registers but whose work is done by
// parts of the plug-in still to come: until they arrive these answer the
// host as the registration needs and write one line to the program log.
#pragma once

#include <cstdint>

#include "platform/xt/xt_types.h"

// Builds the plug-in object; true when it stands.  For now it only notes
// that the object is not available and lets the registration go on.
bool InitBrenix();
// Ends the plug-in object.
void DeinitBrenix();

// Host callbacks of kinds 501 (box pair), 106 (linked box) and 681 (PDF
// continuation): each answers 0.
int32_t BoxPairCallback(void* record);
int32_t LinkedBoxCallback(void* record);
int32_t PdfContinuationCallback(void* record);

// The callback of the plug-in dialog registered under reserved id `number`
// (1 to 15), behind the exception barrier; null for another number.  Asked
// for its resource, it answers the dialog's resource and marks the message
// handled; a prepare message is marked handled; everything else is left.
XTCallback DialogCallback(int number);
// The dialog resource of reserved id `number` (1 to 15), 0 for another.
int32_t DialogResource(int number);
