// Box tags: the story id and the plug-in's marker kept in a box's item data,
// so that a saved document can be taken up again.
//
//   id tag      key 0x08414B42, a signed 32-bit story id, 4 bytes
//   marker tag  key 0x09414B42, 0xACAC, 2 bytes
//
// Values are stored most significant byte first; searches build their
// blocks the same way, so they compare stored bytes exactly.  Every
// operation first sets the host's tool mode to 1 when it is not.  Box 0
// stands for the host's current box.  Results of the host's set and clear
// calls pass through the check hook and are returned; nothing is reported.
// Host thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_layout_suites.h"

constexpr uint32_t kBoxIdTagKey = 0x08414B42;
constexpr uint32_t kBoxMarkerTagKey = 0x09414B42;
constexpr uint16_t kBoxMarkerValue = 0xACAC;

// Sets a 2-byte or a 4-byte tag on `box` and tells the host that the
// document's item data changed.
int32_t SetBoxTag16(XTItem box, uint32_t key, uint16_t value);
int32_t SetBoxTag32(XTItem box, uint32_t key, int32_t value);

// Whether `box` holds a 4-byte tag under `key`; its value goes to `value`
// when given.  A block of any other size (documents come from outside) is
// no tag.
bool GetBoxTag(XTItem box, uint32_t key, int32_t* value = nullptr);

// GetBoxTag with the id tag: false, leaving *id as it was, for a box
// without one.
bool GetBoxId(XTItem box, int32_t* id);

// Removes the tag under `key` from `box` and tells the host.
int32_t ClearBoxTag(XTItem box, uint32_t key);

// The first item of the current document, in the current view (layout or
// master pages), whose tag under `key` holds `value`; 0 for none.  An item
// that is not a text box, or that has a parent, is only traced.
XTItem FindBoxByTag32(uint32_t key, int32_t value);
XTItem FindBoxByTag16(uint32_t key, uint16_t value);
