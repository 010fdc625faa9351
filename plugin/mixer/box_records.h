// Records of host text boxes: ct_Box, a snapshot of one box (its handle,
// the host's eight kind answers, where it lies and the story id the Mapper
// gave it); BoxLinkRecord, a layout box as a registry keeps it (its item
// handle and its whole ct_Box); and ct_MBox, a box of a master page with the
// master page it was found on, the master spread's name and the layout boxes
// the host made from it.  Records are values, copied freely.  Host thread
// only.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "platform/xt/xt_layout_suites.h"

// Kind bits: the host's eight kind predicates in their slot order.
constexpr uint32_t kBoxKindText = 0x01;

class ct_Box {
 public:
  // Asks the host's kind predicates about `box` (also for box 0) and, for a
  // box other than 0, its location.  A failed location call leaves what the
  // host left (reported with "RETURN_EMPTY" under testMode bit 0); the
  // record is built all the same.
  ct_Box(const XTItem& box, uint8_t masterFlag);

  bool IsTextBox() const { return (kindBits & kBoxKindText) != 0; }
  // The spread of the location as the master-page code reads it: its low
  // 16 bits, signed.
  int16_t Spread() const { return static_cast<int16_t>(location.spread_low); }

  XTItem box = 0;
  uint32_t kindBits = 0;
  uint8_t masterFlag = 0;
  XTItemLocation location{};  // all 0 without a box
  int32_t id = -1;            // the story id, -1 until assigned
};

// A layout box in a registry: its item handle and its record.
struct BoxLinkRecord {
  XTItem item;
  // Only the item orders the records, so the record may change in a set
  // (its story id is given later).
  mutable ct_Box record;

  BoxLinkRecord(XTItem handle, const ct_Box& box) : item(handle), record(box) {}
};

// Orders link records by item handle, and finds them by a handle alone.
struct BoxLinkOrder {
  using is_transparent = void;
  bool operator()(const BoxLinkRecord& a, const BoxLinkRecord& b) const { return a.item < b.item; }
  bool operator()(const BoxLinkRecord& a, XTItem b) const { return a.item < b; }
  bool operator()(XTItem a, const BoxLinkRecord& b) const { return a < b.item; }
};
using BoxLinkSet = std::set<BoxLinkRecord, BoxLinkOrder>;

class ct_MBox : public ct_Box {
 public:
  // The base with master flag 1, no users, `masterPage` (as handed to
  // xt_viewgotomaster, valid from 1) and the master spread's name:
  // "<INVALID>" for box 0 or an index below 1 (no host call), "<ERROR>"
  // when the host's name cannot be had or converted (a failed name call is
  // reported with "CHECK_ONLY").
  ct_MBox(const XTItem& box, uint16_t masterPage);

  // The layout boxes the host made from this box, by item handle; "used"
  // means not empty.
  BoxLinkSet users;
  uint16_t masterPage = 0;
  std::string spreadName;
};
