// Thin host calls on pages, views, groups and item-data owners that the
// layout mapping uses, and the small constants and error records of its
// callers.  Each returns what the host returns.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/mixer/doc_view.h"
#include "support/error_record.h"

// The state of the current document's view into *state: 0 when it can be
// worked on.  The host's result, passed through the check hook.
int32_t QueryDocumentState(int32_t* state);

// Whether the current document's view shows the master pages.
int32_t IsMasterView(bool* masters);

// The host's reference of page `page` of `document`: 0 when the document
// has no view or the number is below 1.  A layout page number (the view
// shows the layout) is raised by the number of master pages first.
XTPageRef GetPageRef(XTDocRef document, int16_t page);

// The owner of item data by kind: 0, 1 and 3 the item (the current box when
// `object` is 0), 2 page `object` of the current document, 4 the current
// document, 6 `object` itself; 0 for any other kind.
int32_t GetDataOwner(int32_t object, int32_t kind);

// The members of a group (the current box when `group` is 0), back to
// front, as a new host block of 4-byte item handles for the caller to
// dispose of, and their number; 0 (count 0) when the host gives none.
XTHandle GetGroupMembers(XTItem group, uint16_t* count);

// The item anchored at `position` of story `story`, 0 when the host names
// none.
XTItem AnchoredItemAt(int32_t story, int32_t position);

// The attribute kind the import hands to its attribute writer: 2.
int32_t GetImportAttribKind();

// Error records: 1014 "Too Many Errors" with no text; 1005 "Create KXT" and
// 1006 "Open KXT" with the container's path as text.
ErrorRecord MakeTooManyErrorsRecord();
ErrorRecord MakeCreateKxtError(const std::string& path);
ErrorRecord MakeOpenKxtError(const std::string& path);
