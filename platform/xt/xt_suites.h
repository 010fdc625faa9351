// The host ABI: suites and bound tables.
//
// A suite is a struct of function pointers that the plug-in acquires by its
// four-character code (XTRegisterRec::acquire_suite).  Every suite begins with
// its own code.  The twenty suites of the table below are acquired one by
// one at registration; the bound tables are acquired the same way by the
// plug-in's binding glue.  Entries that the plug-in's code refers to by
// number carry that number in their comment.
//
// Every entry returns a host result code (0 = success) unless its comment
// says otherwise.  Handles an entry makes belong to the caller, who disposes
// of them; a text an entry hands out as a borrowed handle lives as long as
// the object it came from.
#pragma once

#include <cstdint>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_types.h"

// The twenty suites: three letters and a version number in the low byte.
enum XTSuiteCode : uint32_t {
  kXTSuiteLTA1 = 0x4C544101,  // text converters (XTConverterSuite)
  kXTSuiteLTB1 = 0x4C544201,
  kXTSuiteLTC1 = 0x4C544301,
  kXTSuiteLTD1 = 0x4C544401,
  kXTSuiteLGA2 = 0x4C474102,
  kXTSuiteLGB2 = 0x4C474202,
  kXTSuiteLGC2 = 0x4C474302,
  kXTSuiteLGD2 = 0x4C474402,
  kXTSuiteLGE2 = 0x4C474502,  // memory blocks (XTMemorySuite, xt_doc_suites.h)
  kXTSuiteLGF2 = 0x4C474602,  // story text (XTStoryTextSuite)
  kXTSuiteLGG2 = 0x4C474702,  // text attributes (XTTextAttributeSuite)
  kXTSuiteLGH2 = 0x4C474802,  // tool mode, current box (XTSelectionSuite)
  kXTSuiteLGI2 = 0x4C474902,  // the current document (XTDocumentStateSuite)
  kXTSuiteLGJ2 = 0x4C474A02,  // fonts (XTFontSuite)
  kXTSuiteLGK2 = 0x4C474B02,
  kXTSuiteLGL2 = 0x4C474C02,
  kXTSuiteQSA1 = 0x51534101,
  kXTSuiteQSC1 = 0x51534301,  // path objects (XTPathSuite)
  kXTSuiteQSB1 = 0x51534201,  // host strings (XTStringSuite)
  kXTSuiteLOA1 = 0x4C4F4101,
};

// Bound tables.
enum XTTableCode : uint32_t {
  kXTTableXFJj = 0x58464A6A,  // file objects and file specs (XTFileSuite)
  kXTTableXRSa = 0x58525361,  // the host's error state (XTErrorSuite)
  kXTTableXESa = 0x58455361,  // alert parameter texts (XTAlertTextSuite)
  kXTTableXDDg = 0x58444467,  // documents (XTDocumentSuite)
  kXTTableXMFe = 0x584D4665,  // file specs in a folder (XTFolderSpecSuite)
  kXTTableXCMe = 0x58434D65,  // value notes (XTNoteSuite)
  kXTTableXMDs = 0x584D4473,  // the module service (XTModuleSuite)
  kXTTableXPJc = 0x58504A63,  // projects (XTProjectSuite)
};

// Suites offered by the host's XTensions (codes answered by
// XTRegisterRec::xtension_suite_code).
enum XTXTensionSuiteCode : uint32_t {
  kXTSuiteXPTA = 0x58505461,  // 'XPTa'
  kXTSuiteQLYI = 0x514C5961,  // 'QLYa'
  kXTSuiteXPDF = 0x58504461,  // 'XPDa'
};

// A suite whose entries no part of the plug-in calls yet: only its code.
struct XTPlainSuite {
  uint32_t code;
};

// QSB1: host strings of UTF-16 text.
struct XTStringSuite {
  uint32_t code;
  // Entry 17: a new string from `length` bytes of 8-bit text in `encoding`
  // (0 = the host's narrow encoding, UTF-8).
  int32_t (*new_string_from_text)(const char* text, int32_t encoding, int32_t length,
                                  XTString* string);
  // A new string from `length` UTF-16 units.
  int32_t (*new_string)(const char16_t* text, int32_t length, XTString* string);
  // The length of a string in UTF-16 units.
  int32_t (*string_length)(XTString string, int32_t* length);
  // Copies the string's units and a terminating 0 into `buffer` of
  // `capacity` units; fails when they do not fit.
  int32_t (*copy_string)(XTString string, char16_t* buffer, int32_t capacity);
  // Entry 3: disposes of a string.
  int32_t (*dispose_string)(XTString string);
};

// QSC1: path objects, which receive full paths from XTFileSuite::full_path.
struct XTPathSuite {
  uint32_t code;
  int32_t (*new_path)(XTPath* path);
  // The path's text as a borrowed string (empty until a path was set).
  int32_t (*path_string)(XTPath path, XTString* text);
  int32_t (*dispose_path)(XTPath path);
};

// LTA1: text converters from UTF-16 to 8-bit text.
struct XTConverterSuite {
  uint32_t code;
  // A converter for `encoding`; *converter is -1 when there is none.
  int32_t (*new_converter)(int32_t encoding, XTConverter* converter);
  // Converts `count` units into `out` of *out_length bytes, with a
  // terminating 0; *out_length receives the bytes stored, 0 included.
  // Fails, storing nothing, on a short buffer or text that is not UTF-16.
  int32_t (*convert_to_text)(XTConverter converter, const char16_t* text, int32_t count, char* out,
                             int32_t* out_length);
  int32_t (*dispose_converter)(XTConverter converter);
};

// XRSa: the host's error state, one number.
struct XTErrorSuite {
  uint32_t code;
  void (*set_error)(int32_t error);
  // Returns the current error (not a result code).
  int32_t (*current_error)();
  // Reports the current error in the host's transcript.
  void (*report_error)();
};

// XESa: the parameter texts ^0 to ^3 of the next alert.  The host copies the
// texts; note the order of the arguments.
struct XTAlertTextSuite {
  uint32_t code;
  int32_t (*set_param_texts)(XTString text3, XTString text0, XTString text1, XTString text2);
};

// XFJj: file objects and file specs.  A file object names a location (file
// or folder) that need not exist; the spec of a location is its folder's
// volume and id and its own name.
struct XTFileSuite {
  uint32_t code;
  int32_t (*new_file)(XTFile* file);
  int32_t (*dispose_file)(XTFile file);
  // Points the file object at `path` (a host string, absolute or relative
  // to the current folder) with the host file type `type`.
  int32_t (*set_file_path)(XTFile file, XTString path, uint32_t type);
  // Points the file object at the location of a spec.
  int32_t (*set_file_spec)(XTFile file, const XTFileSpec* spec);
  // The spec of the file object's location.
  int32_t (*file_spec)(XTFile file, XTFileSpec* spec);
  // The file object's name (its last path component) as a new string.
  int32_t (*file_name)(XTFile file, XTString* name);
  // Points the file object at the host's temporary folder.
  int32_t (*temp_folder)(XTFile file);
  // *exists = 1 when a file or folder is at the location.
  int32_t (*file_exists)(XTFile file, uint8_t* exists);
  // Creates an empty file at the location: -48 when one exists, -120 when
  // its folder does not.
  int32_t (*create_file)(XTFile file, uint32_t type, int32_t creator);
  // Deletes the file at the location: -43 when there is none.
  int32_t (*delete_file)(XTFile file);
  // A 32-bit value the file object carries (0 when never set).
  int32_t (*set_file_value)(XTFile file, int32_t value);
  int32_t (*file_value)(XTFile file, int32_t* value);
  // Sets the file information (two numbers) of the file at the location.
  int32_t (*set_file_info)(XTFile file, int32_t second, int32_t first);
  // The spec of `path` (absolute, or relative to the folder of `volume` and
  // `folder`; folder 0 is the current folder): 0 when something is there,
  // -43 with the spec filled when nothing is, -120 when the folder is
  // missing, -37 for a name that does not fit.
  int32_t (*make_spec)(int16_t volume, int32_t folder, const char* path, XTFileSpec* spec);
  // The full path of (volume, folder, name) into a path object.
  int32_t (*full_path)(int16_t volume, int32_t folder, XTString name, XTPath path);
  // Points the file object at the host application's folder (the folder
  // that holds its XTensions folder).
  int32_t (*application_folder)(XTFile file);
  // Points the file object at `name` (a host string of a relative path,
  // "/" between its parts) taken from the location the object names:
  // -37 for an empty or absolute name, -50 for an object not yet pointed
  // anywhere.  The new location need not exist.
  int32_t (*resolve_name)(XTFile file, XTString name);
};

// XMFe: specs made from a name inside a folder, and the notice that a file
// carrying a value was deleted.
struct XTFolderSpecSuite {
  uint32_t code;
  // Like XTFileSuite::make_spec, for a name relative to (volume, folder).
  int32_t (*make_spec_in_folder)(int16_t volume, int32_t folder, const char* name,
                                 XTFileSpec* spec);
  // Takes the value of a deleted file (after a 0).
  int32_t (*release_file_value)(int32_t reserved, int32_t value);
};

// XDDg: documents.
struct XTDocumentSuite {
  uint32_t code;
  // Opens the document at the file object's location and makes it current.
  // A file that is open already makes that document current and opens
  // nothing new.
  int32_t (*open_document)(XTFile file, int32_t flags);
  // The document object of a document (or layout) id.
  int32_t (*document_object)(int16_t id, int32_t* object);
  // Entry 6: with 1, marks the current layout of the object's document as
  // changed (it then needs saving); another value changes nothing.
  int32_t (*mark_document_changed)(int32_t object, int32_t value);
};

// XPJc: projects (open documents).
struct XTProjectSuite {
  uint32_t code;
  // The current project; kXTErrNoDocument when there is none.
  int32_t (*current_project)(XTProject* project);
  // Closes a project with one of XTCloseMode.
  int32_t (*close_project)(XTProject project, int32_t mode);
};

// XMDs: the module service.
struct XTModuleSuite {
  uint32_t code;
  // Entry 1: opens a handle for the plug-in module whose load address is
  // `module`.
  int32_t (*open_module)(const void* module, int32_t flags, XTModule* handle);
  // Entry 2: gives a module handle back.
  int32_t (*close_module)(XTModule handle);
};

// XCMe: notes of values the plug-in hands the host.
struct XTNoteSuite {
  uint32_t code;
  // Entry 79: the host records the four values in its transcript.
  int32_t (*note_values)(int32_t first, int32_t second, int32_t third, int32_t fourth);
};
