// Boxes, style sheets and colours of the current document: a scratch text
// box, a paragraph style sheet looked up by name or by id, a new RGB
// colour, the bounds of a box and of its page, whether the host takes a
// box's own record back, and the temporary reshaping of a box that the
// import enlarges.  12 is the general code of a failed
// host call.  Host thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_layout_suites.h"

// A new 40 pt by 40 pt text box on the first page of the current document's
// view; 0 (traced) when the host makes none.
XTItem CreateScratchTextBox();

// The first paragraph style sheet, in index order, whose name begins with
// `name` (a host string): its record and id go through the pointers that
// are given.  False, writing nothing, for an empty name, one longer than 64
// units, no match or no current document.
bool FindStyleSheetByName(XTString name, XTStyleRecord* record, uint32_t* id);

// The paragraph style sheet whose id is `id` (the id a paragraph format
// names), its record into `record` when given: kXTOk; kXTErrNotFound when
// no paragraph sheet has that id (character sheets are not looked at), or
// the host's failure.  Its place among the document's sheets plays no part.
int32_t FindStyleSheetById(uint32_t id, XTStyleRecord* record);

// Makes a new entry of colour list `list` named `name` with the 0xRRGGBB
// value `rgb` (through the host's RGB model); its id goes to *id only when
// the value was converted and set.  Nothing when the host makes no entry.
void CreateRgbColor(uint32_t rgb, const char* name, uint16_t* id, int32_t list);

// Left, top, right and bottom of a box in 16.16 points (pointers may be
// null): 0 or the host's result of releasing the record; 12 for box 0 or
// no record.
int32_t GetBoxBounds(XTItem box, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom);

// The same for the page the box lies on (its spread and page index from its
// location, the page from the spread's page table): 12 when the box is 0, a
// host step fails or the page is not in the table.
int32_t GetBoxPageBounds(XTItem box, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom);

// Why the host would refuse `box`'s own record stored back, so that the box
// is neither enlarged for the import nor grown: "it has no size" (no height
// or width, or inverted bounds) or "its polygon has fewer than three
// points"; null when it takes it, or when a host call fails (counted).
const char* UnusableBoxShape(XTItem box);

// Gives a box the bounds (left, top, right, bottom) for the time the import
// fills it, and back.  Rectangles and ovals (shapes 5 to 9) get the bounds;
// their record word is saved to *savedWord and cleared (restore: put back).
// Polygons (10 to 12) get a five-point rectangular polygon one point inside
// the given bounds, their own polygon saved to *savedShape; restoring puts
// polygon and word back and disposes of the temporary polygon.  Either
// pointer may be null.  Logs the shape and each step to the program log.
// 0 on success; 12 for box 0, no record, a content kind outside 5 to 11 or
// a failed store; 1 when the host refuses the record with a constraint
// (logged).  The record is always released, and a polygon the host refused
// is disposed of.
int32_t FixComplexBoxShape(XTItem box, int32_t left, int32_t top, int32_t right, int32_t bottom,
                           uint32_t* savedWord, uint32_t* savedShape, bool restore);
