#include "plugin/qapi/code_pages.h"

namespace {

struct ScriptRow {
  uint16_t script;  // check value: the row's own script code
  CodePagePair pair;
};

constexpr uint32_t N = kNoCodePage;

const ScriptRow kScripts[32] = {
    {0, {0, 0}},           {1, {932, 10001}},  {2, {950, 950}},    {3, {949, 10003}},
    {4, {1256, 10004}},    {5, {1255, 10005}}, {6, {1253, 10006}}, {7, {1251, 10007}},
    {8, {5, 5}},           {9, {N, 1200}},     {10, {N, 1200}},    {11, {N, 1200}},
    {12, {N, 1200}},       {13, {N, N}},       {14, {N, 1200}},    {15, {N, 1200}},
    {16, {N, 1200}},       {17, {N, 1200}},    {18, {N, 1200}},    {19, {N, 1200}},
    {20, {N, 1200}},       {21, {874, 10021}}, {22, {N, 1200}},    {23, {N, 1200}},
    {24, {N, 1200}},       {25, {936, 10008}}, {26, {N, N}},       {27, {N, 1200}},
    {28, {N, N}},          {29, {1250, 10029}}, {30, {1258, 1200}}, {31, {N, 1200}},
};

}  // namespace

CodePagePair CodePagePairOf(int script) {
  if (script < 0 || script > 31) return CodePagePair{};
  return kScripts[script].pair;
}

CodePagePair CodePagesForRoman(int region) {
  switch (region) {
    case 21:
    case 47:
      return {1252, 10079};
    case 24:
      return {1254, 10081};
    case 25:
      return {1250, 10082};
    default:
      return {1252, 10000};
  }
}

CodePagePair CodePagesForEasternRoman(int region) {
  if (region == 41 || region == 44 || region == 45) return {1257, CodePagePairOf(29).mac};
  return CodePagePairOf(29);
}

CodePagePair CodePagesOfScript(int script, int region) {
  const int16_t s = static_cast<int16_t>(script);
  if (s == 0) return CodePagesForRoman(region);
  if (s == 29) return CodePagesForEasternRoman(region);
  if (s >= 1 && s <= 31) return CodePagePairOf(s);
  return CodePagePair{};
}

uint32_t WinCodePageOf(int script) { return CodePagesOfScript(script, -1).windows; }

uint32_t DefaultCodePage(bool mac) { return mac ? 10000 : 1252; }

CodePagePair CodePagesOfCharAttrib(const XTCharAttrRecord& record, uint32_t fallback, int script) {
  const CodePagePair defaults{fallback, fallback};
  const bool own = (record.flags & kXTCharOwnScript) != 0;
  if (own) return CodePagesOfScript(record.script, record.region);
  if (static_cast<int16_t>(record.font) < 0) return defaults;
  if (script == 0 || script == 32) return defaults;
  return CodePagesOfScript(script, -1);
}

void CodePagesOfCharAttrib(CodePagePair& out, const XTCharAttrRecord& record, uint32_t fallback,
                           int script) {
  out = CodePagesOfCharAttrib(record, fallback, script);
}
