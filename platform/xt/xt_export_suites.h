// Bound tables the export reaches lazily, on first use: reading a file's
// bytes by file spec, and the colours of the current document.
#pragma once

#include <cstdint>

#include "platform/xt/xt_suites.h"

enum XTExportTableCode : uint32_t {
  kXTTableXFRd = 0x58465264,  // file data by spec (XTFileDataSuite)
  kXTTableXCLq = 0x58434C71,  // colour queries (XTColorQuerySuite)
  kXTTableXTXf = 0x58545866,  // text export filters (XTTextExportSuite)
};

constexpr int32_t kXTErrEndOfFile = -39;  // XTFileDataSuite::read_file: nothing more

// XFRd: a file's bytes, read through a 16-bit file reference.
struct XTFileDataSuite {
  uint32_t code;
  // Opens the file of (volume, folder, name) with `permission` (1 read, 2
  // write from its start, the old bytes cut off): its reference in *file;
  // -43 when there is none, -120 without its folder.
  int32_t (*open_file)(int16_t volume, int32_t folder, const char* name, int32_t permission, int16_t* file);
  // Reads up to *count bytes into buffer; *count gets the bytes read.
  // -39 when the end of the file came first (with what was read before it).
  int32_t (*read_file)(int16_t file, int32_t* count, void* buffer);
  // The file's length in bytes (its end-of-file position).
  int32_t (*file_length)(int16_t file, int32_t* length);
  int32_t (*close_file)(int16_t file);
  // Writes up to *count bytes of `buffer` to a file opened for writing (the
  // host takes at most 64 KiB a call); *count gets the bytes written.
  int32_t (*write_file)(int16_t file, int32_t* count, const void* buffer);
};

// XCLq: colours of the current document by colour id.
struct XTColorQuerySuite {
  uint32_t code;
  // *answer = 1 when the current document has a colour table.
  int32_t (*has_color_table)(uint8_t* answer);
  // The colour's model (its four characters, the first in the low byte:
  // 'QRGB' is 0x42475251) and a text naming the model ("RGB") into `text`
  // (capacity bytes with the terminator).  Returns 1 on success, below 1
  // when there is no current document or no such colour.
  int32_t (*color_reference)(uint16_t id, uint32_t* model, char* text, int32_t capacity);
  // The colour's name as a new host string; -43 when it has none.
  int32_t (*color_name)(uint16_t id, XTString* name);
  // The id of the current document's RGB colour of value 0xRRGGBB; -4
  // (kXTNoColor) when there is none.
  int32_t (*find_rgb_color)(uint32_t rgb, int32_t* id);
};

// A text export filter of the host, 0 = none.
using XTExportFilter = int32_t;
// Where export filters hand their bytes when one is installed: called with
// the bytes and a pointer to their count; the host stops the export when it
// answers anything but 0.
using XTExportWriter = int32_t (*)(const void* bytes, const int32_t* count);

// Option bits of XTTextExportSuite::export_story.
enum XTExportOption : uint32_t {
  kXTExportHeader = 0x00000002,    // the notation's header first
  kXTExportToWriter = 0x40000000,  // to the installed writer, not the spec's file
};

// XTXf: the host's text export filters (the tagged-text filter "XPress
// Tags" and "Plain Text", in that order) and the export of one story.
struct XTTextExportSuite {
  uint32_t code;
  // The first filter of the host's list; 0 when there is none.
  int32_t (*first_filter)(XTExportFilter* filter);
  // The filter after `filter`; 0 after the last.
  int32_t (*next_filter)(XTExportFilter filter, XTExportFilter* next);
  // The filter's name as a new host string.
  int32_t (*filter_name)(XTExportFilter filter, XTString* name);
  // Installs `writer` (null: none); *previous gets the one it replaces.
  int32_t (*set_export_writer)(XTExportWriter writer, XTExportWriter* previous);
  // Writes story `story` of the current document through `filter`, in the
  // encoding named by `encoding` ("Windows Latin (Windows-1252)" or
  // "Unicode (UTF-8)"), to the installed writer in chunks of at most 4096
  // bytes (kXTExportToWriter) or else into the file of `spec`.  kXTErrParam
  // for a null filter, an unknown story, encoding or option bit; kXTErrIo
  // when the writer refused a chunk or the file could not be written.
  int32_t (*export_story)(int32_t story, XTExportFilter filter, const XTFileSpec* spec, uint32_t options,
                          XTString encoding);
};
