// The current document and its view: the document reference, the view
// reference, switching the view between the layout and the master pages,
// and making a document current.
//
// The three xt_ wrappers report a failed host call (api_failure.h) under the
// module name "Mixer"; everything else here is silent.  Host thread only.
#pragma once

#include <cstdint>

// A host document reference (the document's id); -1 is none.  A type of its
// own, so that a reference is never taken for a story id or a box.
struct XTDocRef {
  int32_t value = -1;

  constexpr XTDocRef() = default;
  constexpr explicit XTDocRef(int32_t id) : value(id) {}
  constexpr bool IsValid() const { return value >= 0; }
  constexpr bool operator==(XTDocRef other) const { return value == other.value; }
  constexpr bool operator!=(XTDocRef other) const { return value != other.value; }
};

// The current document's reference; XTDocRef(-1), reported with
// "RETURN_VALUE", when the host has none or fails.
XTDocRef xt_getdocref();

// The view of the current document; 0, reported with "RETURN_VALUE", when
// the host fails.  The document reference goes to `docRef` (when given) on
// success only.
int32_t xt_getdocviewref(uint32_t* docRef = nullptr);

// Shows the layout pages (index 0) or master page `index` (1 and up) in
// `view`: 0, else the host's error, reported with "RETURN_ERROR".
int32_t xt_viewgotomaster(int32_t& view, int32_t index);

// The index `view` was last shown at through xt_viewgotomaster (the host
// says only whether a view shows the master pages, not which); -1 when the
// plug-in never switched it.
int32_t xt_viewshownindex(int32_t view);

namespace Mixer {

// Makes `document` the current document: the tool mode becomes 1 when it
// is not, the current document is switched when it differs, and its view
// is brought to the front when the host reports it busy.  A view state
// that stays busy, another document still current or a tool mode other
// than 1 afterwards go to the internal-error trace.  Returns the
// document that was current before (XTDocRef(-1) when none was).
XTDocRef MakeCurrent(XTDocRef document);

}  // namespace Mixer
