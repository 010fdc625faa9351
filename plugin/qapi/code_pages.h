// Code pages of host scripts and runs.
//
// The host names the writing system of a font by a script code (0 to 31)
// and, for Roman and Eastern Roman text, a region code; the exchange
// container wants Windows code pages.  A CodePagePair is (Windows, Mac);
// 0xFFFF in either half means none, 1200 is UTF-16, and 5 stands for symbol
// text whose code page the run's record settles later.
#pragma once

#include <cstdint>

#include "platform/xt/xt_doc_suites.h"

struct CodePagePair {
  uint32_t windows = 0xFFFF;
  uint32_t mac = 0xFFFF;
  bool operator==(const CodePagePair& o) const { return windows == o.windows && mac == o.mac; }
};

constexpr uint32_t kNoCodePage = 0xFFFF;

// The table's pair of a script code from 1 to 31 (row 0 holds zeros; no
// script reaches it).
CodePagePair CodePagePairOf(int script);
// Region 21 or 47: (1252, 10079); 24: (1254, 10081); 25: (1250, 10082);
// any other: (1252, 10000).
CodePagePair CodePagesForRoman(int region);
// Region 41, 44 or 45: (1257, 10029); any other: (1250, 10029).
CodePagePair CodePagesForEasternRoman(int region);
// Script 0: Roman by region; 29: Eastern Roman by region; 1 to 28, 30, 31:
// the table; anything else (as a signed 16-bit value): (0xFFFF, 0xFFFF).
CodePagePair CodePagesOfScript(int script, int region);
// The Windows half of CodePagesOfScript(script, -1).
uint32_t WinCodePageOf(int script);
// 10000 when `mac` is set, else 1252.
uint32_t DefaultCodePage(bool mac);

// The pair of one run: starts as (fallback, fallback).  For a font id of 0
// or more, a record that names its own script (kXTCharOwnScript) takes the
// pair of its script and region, otherwise `script` 0 or 32 keeps the
// fallback and any other script gives CodePagesOfScript(script, -1).  For a
// negative font id only a record naming its own script changes the pair.
CodePagePair CodePagesOfCharAttrib(const XTCharAttrRecord& record, uint32_t fallback, int script);
void CodePagesOfCharAttrib(CodePagePair& out, const XTCharAttrRecord& record, uint32_t fallback,
                           int script);
